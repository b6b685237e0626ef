// Reading and writing the library file, and its look-up indexes.
#include "library/library_data.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace brevin::library {
namespace {

// The tab-separated fields of a line, without an allocation per line: no
// record has more than nine; a tenth stands for "too many".
struct FieldList {
  std::array<std::string_view, 10> items;
  std::size_t count = 0;
  std::size_t size() const { return count; }
  std::string_view operator[](std::size_t i) const { return items[i]; }
};

FieldList Fields(std::string_view line) {
  FieldList fields;
  std::size_t from = 0;
  while (fields.count < fields.items.size()) {
    const std::size_t tab = line.find('\t', from);
    fields.items[fields.count++] = line.substr(from, tab == std::string_view::npos ? std::string_view::npos : tab - from);
    if (tab == std::string_view::npos) break;
    from = tab + 1;
  }
  return fields;
}

bool Number(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

template <typename T>
bool Number(std::string_view text, std::int64_t low, std::int64_t high, T& into) {
  std::int64_t value = 0;
  if (!Number(text, low, high, value)) return false;
  into = static_cast<T>(value);
  return true;
}

// A name field: no control characters; "-" is empty.
bool Name(std::string_view text, std::string& into, bool mayBeEmpty) {
  if (text == "-") {
    into.clear();
    return mayBeEmpty;
  }
  if (text.empty()) return false;
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 32) return false;
  into = std::string(text);
  return true;
}

bool List(std::string_view text, std::vector<std::string>& into) {
  into.clear();
  if (text == "-") return true;
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    std::string name;
    if (!Name(text.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from), name, false)) {
      return false;
    }
    into.push_back(std::move(name));
    if (comma == std::string_view::npos) return true;
    from = comma + 1;
  }
}

bool Calls(std::string_view text, std::vector<CallSite>& into) {
  into.clear();
  if (text == "-") return true;
  std::vector<std::string> items;
  if (!List(text, items)) return false;
  for (const std::string& item : items) {
    CallSite call;
    const std::size_t dot = item.find('.');
    if (dot == std::string::npos) {
      if (!Number(item, 0, 255, call.method)) return false;
    } else if (!Number(std::string_view(item).substr(0, dot), 1, 255, call.object) ||
               !Number(std::string_view(item).substr(dot + 1), 0, 255, call.method)) {
      return false;
    }
    into.push_back(call);
  }
  return true;
}

std::string Joined(const std::vector<std::string>& items, char separator) {
  if (items.empty()) return "-";
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += separator;
    text += item;
  }
  return text;
}

std::string Field(const std::string& name) { return name.empty() ? "-" : name; }

// A VAR, DAT or CON record: checked, and read into the entry.
bool ReadDetail(const FieldList& f, LibraryEntry* into) {
  std::string name, value;
  if (f[0] == "V") {
    LibraryVariable v;
    if (f.size() != 4 || !Number(f[1], 0, 65535, v.offset) || !Number(f[2], 1, 4, v.size) || !Name(f[3], v.name, false)) {
      return false;
    }
    into->variables.push_back(std::move(v));
  } else if (f[0] == "D") {
    LibraryLabel d;
    if (f.size() != 4 || !Number(f[1], 0, 32768, d.offset) || f[2].size() != 1 ||
        (f[2][0] != 'B' && f[2][0] != 'W' && f[2][0] != 'L') || !Name(f[3], d.name, false)) {
      return false;
    }
    d.size = f[2][0];
    into->labels.push_back(std::move(d));
  } else {
    LibraryConstant c;
    if (f.size() != 3 || !Name(f[1], c.name, false) || !Name(f[2], c.value, false)) return false;
    into->constants.push_back(std::move(c));
  }
  return true;
}

}  // namespace

const LibraryEntry& LibraryData::Details(std::uint32_t index) const {
  LibraryEntry& e = entries_[index];
  if (e.detailsRead) return e;
  e.detailsRead = true;
  std::string_view rest = std::string_view(text_).substr(e.detailsBegin, e.detailsEnd - e.detailsBegin);
  std::size_t method = 0;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    // The record kinds, the prints and the sizes were checked when the file was read.
    const FieldList f = Fields(line);
    bool good = true;
    if (f[0] == "M" && method++ < e.methodCount) {
      LibraryMethod& m = e.methods.emplace_back();
      m.isPublic = f[3] == "PUB";
      good = f.size() == 9 && ParsePrint(f[1], m.print) && Number(f[2], 0, 32768, m.bytes) && Name(f[4], m.name, false) && List(f[5], m.parameters) && Name(f[6], m.result, true) &&
             List(f[7], m.locals) && Calls(f[8], m.calls);
    } else if (f[0] == "V" || f[0] == "D" || f[0] == "C") {
      good = ReadDetail(f, &e);
    }
    if (!good) {
      // A damaged entry names nothing rather than something half read.
      e.damaged = true;
      e.methods.clear();
      e.variables.clear();
      e.labels.clear();
      e.constants.clear();
      return e;
    }
  }
  return e;
}

bool LibraryEntry::SameNames(const LibraryEntry& other) const {
  return print == other.print && bytes == other.bytes && file == other.file && methods == other.methods &&
         variables == other.variables && labels == other.labels && constants == other.constants &&
         children == other.children;
}

bool LibraryData::Parse(std::string fileText, std::string& problem) {
  entries_.clear();
  byObject_.clear();
  byMethod_.clear();
  text_.clear();
  std::size_t lineNumber = 0;
  std::size_t from = 0;
  const auto fail = [&](std::string_view what) {
    problem = "line " + std::to_string(lineNumber) + ": " + std::string(what);
    entries_.clear();
    byObject_.clear();
    byMethod_.clear();
    return false;
  };
  text_ = std::move(fileText);
  const std::string_view text = text_;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(from, end - from);
    const std::size_t lineStart = from;
    from = std::min(end + 1, text.size());
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (lineNumber == 1) {
      if (line != kLibraryHeader) return fail("not a library file (the first line is not \"brevin-library 1\")");
      continue;
    }
    if (line.empty() || line.front() == '#') continue;
    // VAR, DAT and CON records are read with their entry's details: only their kind now.
    if (line.size() > 1 && (line[0] == 'V' || line[0] == 'D' || line[0] == 'C') && line[1] == '\t') {
      if (entries_.empty()) return fail("a record before the first object");
      LibraryEntry& entry = entries_.back();
      if (entry.detailsBegin == entry.detailsEnd) entry.detailsBegin = static_cast<std::uint32_t>(lineStart);
      entry.detailsEnd = static_cast<std::uint32_t>(from);
      entry.detailsRead = false;
      continue;
    }
    const FieldList f = Fields(line);
    if (f[0] == "O") {
      LibraryEntry entry;
      if (f.size() < 5 || f.size() > 6 || !ParsePrint(f[1], entry.print) || !Number(f[2], 8, 32768, entry.bytes) ||
          !Name(f[3], entry.file, false) || !Number(f[4], 1, 1 << 30, entry.copies)) {
        return fail("a bad object line");
      }
      if (f.size() == 6) {
        std::size_t at = 0;
        const std::string_view folders = f[5];
        while (at <= folders.size()) {
          const std::size_t bar = std::min(folders.find('|', at), folders.size());
          if (bar > at) entry.folders.emplace_back(folders.substr(at, bar - at));
          at = bar + 1;
        }
      }
      entries_.push_back(std::move(entry));
      continue;
    }
    if (entries_.empty()) return fail("a record before the first object");
    LibraryEntry& entry = entries_.back();
    if (f[0] == "M") {
      // The print, size and kind now, for the index; the method when first
      // asked for (a damaged name then leaves the entry out).
      Print print = 0;
      int bytes = 0;
      if (f.size() != 9 || !ParsePrint(f[1], print) || !Number(f[2], 0, 32768, bytes) || (f[3] != "PUB" && f[3] != "PRI")) {
        return fail("a bad method line");
      }
      byMethod_.push_back({print, {static_cast<std::uint32_t>(entries_.size() - 1), entry.methodCount++}});
      if (entry.detailsBegin == entry.detailsEnd) entry.detailsBegin = static_cast<std::uint32_t>(lineStart);
      entry.detailsEnd = static_cast<std::uint32_t>(from);
      entry.detailsRead = false;
    } else if (f[0] == "J") {
      LibraryChild j;
      if (f.size() != 4 || !Name(f[1], j.name, false) || !Name(f[2], j.file, false) || !Number(f[3], 1, 255, j.count)) {
        return fail("a bad object declaration line");
      }
      entry.children.push_back(std::move(j));
    } else {
      return fail("an unknown record \"" + std::string(f[0].substr(0, 8)) + "\"");
    }
  }
  if (lineNumber == 0) return fail("the file is empty");
  for (std::uint32_t i = 0; i < entries_.size(); ++i) {
    byObject_.push_back({entries_[i].print, i});
  }
  // By print, then in file order (as the records were added).
  std::sort(byObject_.begin(), byObject_.end());
  std::sort(byMethod_.begin(), byMethod_.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first
                              : a.second.entry != b.second.entry ? a.second.entry < b.second.entry
                                                                 : a.second.method < b.second.method;
  });
  return true;
}

std::string LibraryData::Text(bool withFolders) const {
  std::string text(kLibraryHeader);
  text += '\n';
  for (std::uint32_t i = 0; i < entries_.size(); ++i) {
    const LibraryEntry& e = Details(i);
    text += "O\t" + PrintText(e.print) + '\t' + std::to_string(e.bytes) + '\t' + e.file + '\t' + std::to_string(e.copies);
    if (withFolders && !e.folders.empty()) text += '\t' + Joined(e.folders, '|');
    text += '\n';
    for (const LibraryMethod& m : e.methods) {
      std::vector<std::string> calls;
      for (const CallSite& c : m.calls) {
        calls.push_back(c.object == 0 ? std::to_string(c.method) : std::to_string(c.object) + '.' + std::to_string(c.method));
      }
      text += "M\t" + PrintText(m.print) + '\t' + std::to_string(m.bytes) + '\t' + (m.isPublic ? "PUB" : "PRI") + '\t' +
              m.name + '\t' + Joined(m.parameters, ',') + '\t' + Field(m.result) + '\t' + Joined(m.locals, ',') + '\t' +
              Joined(calls, ',') + '\n';
    }
    for (const LibraryVariable& v : e.variables) {
      text += "V\t" + std::to_string(v.offset) + '\t' + std::to_string(v.size) + '\t' + v.name + '\n';
    }
    for (const LibraryLabel& d : e.labels) {
      text += "D\t" + std::to_string(d.offset) + '\t' + d.size + '\t' + d.name + '\n';
    }
    for (const LibraryConstant& c : e.constants) text += "C\t" + c.name + '\t' + c.value + '\n';
    for (const LibraryChild& j : e.children) {
      text += "J\t" + j.name + '\t' + j.file + '\t' + std::to_string(j.count) + '\n';
    }
  }
  return text;
}

bool LibraryData::Add(LibraryEntry entry) {
  {
    for (const std::uint32_t i : ObjectsWith(entry.print)) {
      Details(i);
      LibraryEntry& known = entries_[i];
      if (!known.SameNames(entry)) continue;
      known.copies += entry.copies;
      for (std::string& folder : entry.folders) {
        if (std::find(known.folders.begin(), known.folders.end(), folder) == known.folders.end()) {
          known.folders.push_back(std::move(folder));
        }
      }
      return false;
    }
  }
  entries_.push_back(std::move(entry));
  IndexEntry(static_cast<std::uint32_t>(entries_.size() - 1));
  return true;
}

namespace {

// The values of one print in an index sorted by print, in the order they were added.
template <typename T>
std::vector<T> With(const std::vector<std::pair<Print, T>>& index, Print print) {
  auto it = std::lower_bound(index.begin(), index.end(), print, [](const auto& e, Print p) { return e.first < p; });
  std::vector<T> found;
  for (; it != index.end() && it->first == print; ++it) found.push_back(it->second);
  return found;
}

template <typename T>
void Insert(std::vector<std::pair<Print, T>>& index, Print print, T value) {
  const auto at = std::upper_bound(index.begin(), index.end(), print, [](Print p, const auto& e) { return p < e.first; });
  index.insert(at, {print, value});
}

}  // namespace

std::vector<std::uint32_t> LibraryData::ObjectsWith(Print print) const { return With(byObject_, print); }

std::vector<MethodPlace> LibraryData::MethodsWith(Print print) const { return With(byMethod_, print); }

void LibraryData::IndexEntry(std::uint32_t index) {
  const LibraryEntry& e = entries_[index];
  Insert(byObject_, e.print, index);
  entries_[index].methodCount = static_cast<std::uint32_t>(e.methods.size());
  for (std::uint32_t m = 0; m < e.methods.size(); ++m) Insert(byMethod_, e.methods[m].print, MethodPlace{index, m});
}

}  // namespace brevin::library
