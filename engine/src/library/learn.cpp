// Names of a library entry from a Spin source, checked against the object.
#include "library/learn.h"
#include "brevin/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

#include "recovery/source_names.h"

namespace brevin::library {
namespace {

// The compiler's symbol kinds in its listing.
constexpr int kCon = 0x43, kConFloat = 0x44, kVarByte = 0x45, kVarLong = 0x47, kDatByte = 0x48, kDatWord = 0x49,
              kDatLong = 0x4A, kDatRes = 0x4B;

bool IdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The source without its comments ('... to the line's end, {...} and {{...}}),
// each comment left as one blank; strings stay.
std::string WithoutComments(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  int braces = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (braces > 0) {
      if (c == '{') ++braces;
      if (c == '}') --braces;
      if (c == '\n') out += '\n';
      if (braces == 0) out += ' ';
      continue;
    }
    if (c == '\n') inString = false;
    if (!inString && c == '{') {
      braces = 1;
      continue;
    }
    if (!inString && c == '\'') {
      while (i + 1 < text.size() && text[i + 1] != '\n') ++i;
      out += ' ';
      continue;
    }
    if (c == '"') inString = !inString;
    out += c;
  }
  return out;
}

// Identifiers of the code, upper case -> spelling as first written.
std::map<std::string, std::string> Spellings(const std::string& code) {
  std::map<std::string, std::string> spelling;
  for (std::size_t i = 0; i < code.size();) {
    if (!IdentifierChar(code[i]) || std::isdigit(static_cast<unsigned char>(code[i]))) {
      // Skip a number whole ("$1F" or "%10") and whatever is no identifier.
      const bool number = std::isdigit(static_cast<unsigned char>(code[i])) || code[i] == '$' || code[i] == '%';
      ++i;
      while (number && i < code.size() && IdentifierChar(code[i])) ++i;
      continue;
    }
    std::size_t end = i;
    while (end < code.size() && IdentifierChar(code[end])) ++end;
    const std::string word = code.substr(i, end - i);
    spelling.emplace(UpperText(word), word);
    i = end;
  }
  return spelling;
}

std::string FloatText(std::uint32_t bits) {
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  std::string out(text, end);
  if (out.find_first_of(".en") == std::string::npos) out += ".0";
  return out;
}

// Plain "NAME = number" lines of the CON blocks, and enumerations "#n, A, B",
// for a source without the compiler's symbols.
std::vector<LibraryConstant> SourceConstants(const std::string& code) {
  std::vector<LibraryConstant> constants;
  bool inCon = false;
  std::size_t from = 0;
  while (from < code.size()) {
    std::size_t end = code.find('\n', from);
    if (end == std::string::npos) end = code.size();
    std::string line = code.substr(from, end - from);
    from = end + 1;
    const std::string head = UpperText(line.substr(0, 3));
    if ((head == "CON" || head == "VAR" || head == "DAT" || head == "OBJ" || head == "PUB" || head == "PRI") &&
        (line.size() == 3 || !IdentifierChar(line[3]))) {
      inCon = head == "CON";
      line = line.substr(3);
    }
    if (!inCon) continue;
    std::size_t at = 0;
    while (at < line.size()) {
      std::size_t comma = line.find(',', at);
      if (comma == std::string::npos) comma = line.size();
      std::string item = line.substr(at, comma - at);
      at = comma + 1;
      const std::size_t equals = item.find('=');
      if (equals == std::string::npos) continue;
      std::string name = item.substr(0, equals), value = item.substr(equals + 1);
      const auto trim = [](std::string& s) {
        s.erase(0, s.find_first_not_of(" \t\r"));
        s.erase(s.find_last_not_of(" \t\r") + 1);
      };
      trim(name);
      trim(value);
      if (name.empty() || !std::all_of(name.begin(), name.end(), IdentifierChar)) continue;
      int base = 10;
      std::size_t v = 0;
      if (!value.empty() && value[0] == '$') base = 16, v = 1;
      if (!value.empty() && value[0] == '%') base = 2, v = 1;
      std::int64_t number = 0;
      bool digits = false, good = v < value.size();
      for (; v < value.size() && good; ++v) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(value[v])));
        if (c == '_') continue;
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : 99;
        good = d < base && number < (std::int64_t{1} << 32);
        number = number * base + d;
        digits = true;
      }
      if (good && digits) constants.push_back({name, std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(number)))});
    }
  }
  return constants;
}

}  // namespace

std::string WithLineFeeds(std::string_view source) {
  std::string text;
  text.reserve(source.size());
  for (std::size_t i = 0; i < source.size(); ++i) {
    if (source[i] != '\r') {
      text += source[i];
    } else if (i + 1 >= source.size() || source[i + 1] != '\n') {
      text += '\n';
    }
  }
  return text;
}

CompilerSymbols ReadCompilerSymbols(std::string_view listing) {
  CompilerSymbols out;
  std::size_t from = 0;
  while (from < listing.size()) {
    std::size_t end = listing.find('\n', from);
    if (end == std::string_view::npos) end = listing.size();
    std::string_view line = listing.substr(from, end - from);
    from = end + 1;
    if (!line.starts_with("TYPE: ")) continue;
    const std::size_t value = line.find("VALUE: "), name = line.find("NAME: ");
    if (value == std::string_view::npos || name == std::string_view::npos) continue;
    CompilerSymbols::Symbol s;
    std::from_chars(line.data() + 6, line.data() + 8, s.type, 16);
    std::from_chars(line.data() + value + 7, line.data() + value + 15, s.value, 16);
    std::string_view n = line.substr(name + 6);
    while (!n.empty() && (n.back() == '\r' || n.back() == ' ')) n.remove_suffix(1);
    s.name = std::string(n);
    out.symbols.push_back(std::move(s));
  }
  return out;
}

std::optional<LibraryEntry> EntryFromSource(const recovery::ObjectImage& object, const ObjectPrint& print,
                                            const std::string& file, const std::string& sourceText,
                                            const CompilerSymbols* symbols, std::string& problem) {
  const std::string text = WithLineFeeds(sourceText);
  const recovery::SourceNames names = recovery::ReadSourceNames(text);
  const std::size_t methods = object.methods.size();
  if (names.methods.size() != methods) {
    problem = "it declares " + std::to_string(names.methods.size()) + " methods, the object has " + std::to_string(methods);
    return std::nullopt;
  }
  int children = 0;
  for (const recovery::SourceObjectName& o : names.objects) children += o.count;
  if (children != static_cast<int>(object.children.size())) {
    problem = "it declares " + std::to_string(children) + " child objects, the object has " +
              std::to_string(object.children.size());
    return std::nullopt;
  }
  for (std::size_t m = 0; m < methods; ++m) {
    const recovery::SourceMethodName& n = names.methods[m];
    if (!n.localsKnown && !n.locals.empty()) continue;
    int longs = 0;
    for (const recovery::SourceLocal& l : n.locals) longs += l.count;
    if (4 * longs != object.methods[m].localSize) {
      problem = "method " + n.name + " has " + std::to_string(4 * longs) + " bytes of locals, method " +
                std::to_string(m + 1) + " of the object " + std::to_string(object.methods[m].localSize);
      return std::nullopt;
    }
  }
  LibraryEntry entry;
  entry.print = print.print;
  entry.bytes = print.bytes;
  entry.file = file;
  for (std::size_t m = 0; m < methods; ++m) {
    const recovery::SourceMethodName& n = names.methods[m];
    LibraryMethod method;
    method.print = print.methods[m].print;
    method.bytes = print.methods[m].bytes;
    method.calls = print.methods[m].calls;
    method.isPublic = n.isPublic;
    method.name = n.name;
    method.parameters = n.parameters;
    method.result = n.result;
    for (const recovery::SourceLocal& l : n.locals) method.locals.push_back(l.name);
    entry.methods.push_back(std::move(method));
  }
  for (const recovery::SourceObjectName& o : names.objects) {
    if (!o.name.empty() && !o.file.empty()) entry.children.push_back({o.name, o.file, o.count});
  }

  const std::string code = WithoutComments(text);
  if (symbols != nullptr) {
    const std::map<std::string, std::string> spelling = Spellings(code);
    const auto spelled = [&](const std::string& upper) {
      const auto it = spelling.find(upper);
      return it == spelling.end() ? upper : it->second;
    };
    // The bytes of the longs and of the words, when the VAR block's counts are numbers.
    std::optional<std::pair<std::int32_t, std::int32_t>> groups;
    if (names.variablesKnown) {
      groups.emplace(0, 0);
      for (const recovery::SourceVariable& v : names.variables) {
        if (v.size == 4) groups->first += 4 * v.count;
        if (v.size == 2) groups->second += 2 * v.count;
      }
    }
    for (const CompilerSymbols::Symbol& s : symbols->symbols) {
      // Local labels (":loop") carry their scope in bytes after the name: they name nothing outside.
      if (s.name.empty() || !std::all_of(s.name.begin(), s.name.end(), IdentifierChar)) continue;
      if (s.type == kCon) {
        entry.constants.push_back({spelled(s.name), std::to_string(static_cast<std::int32_t>(s.value))});
      } else if (s.type == kConFloat) {
        entry.constants.push_back({spelled(s.name), FloatText(s.value)});
      } else if (s.type >= kVarByte && s.type <= kVarLong) {
        // The compiler gives a word its place among the words and a byte
        // among the bytes; the VAR block's counts place the groups.
        const int size = 1 << (s.type - kVarByte);
        if (size == 4 && groups && static_cast<std::int32_t>(s.value) + 4 > groups->first) groups.reset();
        if (size < 4 && !groups) continue;
        const std::int32_t group = size == 4 ? 0 : size == 2 ? groups->first : groups->first + groups->second;
        const std::int32_t end = size == 4 ? groups->first : size == 2 ? groups->second : object.ownVarSize;
        const auto offset = static_cast<std::int32_t>(s.value);
        // Counts the reader got wrong would put it outside its group: then no word or byte is named.
        if (size < 4 && (offset < 0 || offset + size > end || group + offset + size > object.ownVarSize)) {
          groups.reset();
          continue;
        }
        entry.variables.push_back({group + offset, size, spelled(s.name)});
      } else if (s.type >= kDatByte && s.type <= kDatRes) {
        const char size = s.type == kDatByte ? 'B' : s.type == kDatWord ? 'W' : 'L';
        entry.labels.push_back({static_cast<std::int32_t>(s.value), size, spelled(s.name)});
      }
    }
    if (!groups)
      entry.variables.erase(std::remove_if(entry.variables.begin(), entry.variables.end(),
                                           [](const LibraryVariable& v) { return v.size < 4; }),
                            entry.variables.end());
    std::stable_sort(entry.variables.begin(), entry.variables.end(),
                     [](const LibraryVariable& a, const LibraryVariable& b) { return a.offset < b.offset; });
    std::stable_sort(entry.labels.begin(), entry.labels.end(),
                     [](const LibraryLabel& a, const LibraryLabel& b) { return a.offset < b.offset; });
  } else {
    entry.constants = SourceConstants(code);
    if (names.variablesKnown) {
      // The compiler lays out the longs first, then the words, then the bytes.
      std::int32_t offset = 0;
      for (const int size : {4, 2, 1}) {
        for (const recovery::SourceVariable& v : names.variables) {
          if (v.size != size) continue;
          entry.variables.push_back({offset, size, v.name});
          offset += size * v.count;
        }
      }
      const std::int32_t own = (offset + 3) & ~3;
      if (own != object.ownVarSize && object.totalVarSize >= 0) {
        problem = "its VAR block holds " + std::to_string(own) + " bytes, the object's " +
                  std::to_string(object.ownVarSize);
        return std::nullopt;
      }
    }
  }
  return entry;
}

}  // namespace brevin::library
