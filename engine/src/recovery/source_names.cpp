// Reads PUB and PRI lines of a Spin source: the names at the start of a line,
// skipping comments in braces.
#include "recovery/source_names.h"

#include <cctype>
#include <map>
#include <optional>
#include <sstream>

#include "brevin/text.h"

namespace brevin::recovery {
namespace {

bool Word(const std::string& line, std::size_t at, const char* word) {
  std::size_t k = 0;
  for (; word[k]; ++k)
    if (at + k >= line.size() || std::toupper(static_cast<unsigned char>(line[at + k])) != word[k]) return false;
  return at + k < line.size() && (line[at + k] == ' ' || line[at + k] == '\t');
}

std::string Identifier(const std::string& s, std::size_t& at) {
  while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
  std::string id;
  while (at < s.size() && (std::isalnum(static_cast<unsigned char>(s[at])) || s[at] == '_')) id += s[at++];
  return id;
}

// A number as Spin writes it: decimal, $hex or %binary, with underscores.
std::optional<long> Number(const std::string& text) {
  int base = 10;
  std::size_t at = 0;
  if (!text.empty() && text[0] == '$') base = 16, at = 1;
  if (!text.empty() && text[0] == '%') base = 2, at = 1;
  long value = 0;
  bool digits = false;
  for (; at < text.size(); ++at) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
    if (c == '_') continue;
    const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : 99;
    if (d >= base || value > 100000000) return std::nullopt;
    value = value * base + d;
    digits = true;
  }
  if (!digits) return std::nullopt;
  return value;
}

// "NAME = number" assignments of a CON line (several may share it, by commas).
void ReadConstants(std::string line, std::map<std::string, long>& constants) {
  const std::size_t comment = line.find('\'');
  if (comment != std::string::npos) line = line.substr(0, comment);
  std::istringstream items(line);
  std::string item;
  while (std::getline(items, item, ',')) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos) continue;
    std::size_t at = 0;
    std::string name = Identifier(item.substr(0, equals), at);
    std::string value = item.substr(equals + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t\r") + 1);
    if (name.empty()) continue;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (std::optional<long> number = Number(value)) constants[name] = *number;
  }
}

// The count of "[count]" with at on the "[": a number or a CON name that the
// block reads as a number; at moves past the "]". None when it is neither.
std::optional<long> BracketCount(const std::string& line, std::size_t& at, const std::map<std::string, long>& constants) {
  const std::size_t close = line.find(']', at);
  if (close == std::string::npos) return std::nullopt;
  std::string count = line.substr(at + 1, close - at - 1);
  count.erase(0, count.find_first_not_of(" \t"));
  count.erase(count.find_last_not_of(" \t") + 1);
  at = close + 1;
  if (std::optional<long> value = Number(count)) return value;
  for (char& c : count) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const auto named = constants.find(count);
  return named != constants.end() ? std::optional<long>(named->second) : std::nullopt;
}

// One VAR line: "long a, b[4]"; a comment ends it. A count that is neither a
// number nor a known constant makes the VAR block unknown.
void ReadVariables(std::string line, const std::map<std::string, long>& constants, SourceNames& names) {
  const std::size_t comment = line.find('\'');
  if (comment != std::string::npos) line = line.substr(0, comment);
  std::size_t at = 0;
  std::string type = Identifier(line, at);
  if (type.empty()) {
    if (line.find_first_not_of(" \t\r") != std::string::npos) names.variablesKnown = false;
    return;
  }
  for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const int size = type == "LONG" ? 4 : type == "WORD" ? 2 : type == "BYTE" ? 1 : 0;
  if (size == 0) {
    names.variablesKnown = false;
    return;
  }
  for (;;) {
    SourceVariable variable;
    variable.size = size;
    variable.name = Identifier(line, at);
    if (variable.name.empty()) {
      names.variablesKnown = false;
      return;
    }
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at < line.size() && line[at] == '[') {
      const std::optional<long> value = BracketCount(line, at, constants);
      if (!value || *value < 1 || *value > 32768) {
        names.variablesKnown = false;
        return;
      }
      // The count as the source writes it stays a number here: the CON block is not written.
      variable.count = static_cast<int>(*value);
    }
    names.variables.push_back(variable);
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
    if (at < line.size() && line[at] == ',') {
      ++at;
      continue;
    }
    if (at < line.size()) names.variablesKnown = false;
    return;
  }
}

}  // namespace

SourceNames ReadSourceNames(const std::string& text) {
  std::vector<SourceMethodName> pub, pri;
  int braces = 0;
  bool inObj = false;
  bool inVar = false;
  bool inCon = false;
  std::map<std::string, long> constants;  // plain numeric CON symbols, by upper-case name
  SourceNames names;
  // Lines end in CR LF, LF or a lone CR alike.
  for (const std::string_view lineText : TextLines(text)) {
    std::string line(lineText);
    const bool atStart = braces == 0;
    for (char c : line) {
      if (c == '{') ++braces;
      if (c == '}' && braces > 0) --braces;
    }
    if (!atStart) continue;
    // Block keywords start at the line's first column.
    for (const char* block : {"CON", "VAR", "DAT", "PUB", "PRI", "OBJ"}) {
      std::size_t n = 0;
      while (block[n] && n < line.size() && std::toupper(static_cast<unsigned char>(line[n])) == block[n]) ++n;
      if (block[n] == 0 && (n == line.size() || !std::isalnum(static_cast<unsigned char>(line[n])))) {
        inObj = std::string(block) == "OBJ";
        inVar = std::string(block) == "VAR";
        inCon = std::string(block) == "CON";
        if (inObj || inVar || inCon) line = line.substr(3);
      }
    }
    if (inCon) {
      ReadConstants(line, constants);
      continue;
    }
    if (inVar) {
      ReadVariables(line, constants, names);
      continue;
    }
    if (inObj) {
      // name : "file" or name[count] : "file"
      std::size_t at = 0;
      SourceObjectName object;
      object.name = Identifier(line, at);
      if (object.name.empty()) continue;
      while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
      if (at < line.size() && line[at] == '[') {
        ++at;
        std::string digits = Identifier(line, at);
        object.count = 0;
        for (char c : digits) {
          if (!std::isdigit(static_cast<unsigned char>(c)) || object.count > 255) {
            object.count = -1;  // a named constant: the count is not known here
            break;
          }
          object.count = object.count * 10 + (c - '0');
        }
        if (object.count < 0) {
          names.objects.clear();
          inObj = false;
          continue;
        }
        while (at < line.size() && line[at] != ']') ++at;
        ++at;
      }
      while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
      if (at < line.size() && line[at] == ':') {
        const std::size_t open = line.find('"', at);
        const std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        if (close != std::string::npos) {
          object.file = line.substr(open + 1, close - open - 1);
          if (object.file.size() > 5 && object.file.compare(object.file.size() - 5, 5, ".spin") == 0)
            object.file.resize(object.file.size() - 5);
        }
        names.objects.push_back(object);
      }
      continue;
    }
    const bool isPub = Word(line, 0, "PUB");
    const bool isPri = Word(line, 0, "PRI");
    if (!isPub && !isPri) continue;
    std::size_t at = 3;
    SourceMethodName m;
    m.name = Identifier(line, at);
    if (m.name.empty()) continue;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at < line.size() && line[at] == '(') {
      ++at;
      for (;;) {
        std::string p = Identifier(line, at);
        if (p.empty()) break;
        m.parameters.push_back(p);
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        if (at < line.size() && line[at] == ',') {
          ++at;
          continue;
        }
        break;
      }
      while (at < line.size() && line[at] != ')') ++at;
      if (at < line.size()) ++at;
    }
    // ": result" and "| local, array[count]"
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at < line.size() && line[at] == ':') {
      ++at;
      m.result = Identifier(line, at);
      while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    }
    if (at < line.size() && line[at] == '|') {
      ++at;
      m.localsKnown = true;
      for (;;) {
        SourceLocal local;
        local.name = Identifier(line, at);
        if (local.name.empty()) {
          m.localsKnown = false;
          break;
        }
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        if (at < line.size() && line[at] == '[') {
          const std::optional<long> value = BracketCount(line, at, constants);
          if (!value || *value < 1 || *value > 8192) {
            m.localsKnown = false;
            break;
          }
          local.count = static_cast<int>(*value);
        }
        m.locals.push_back(local);
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        if (at < line.size() && line[at] == ',') {
          ++at;
          continue;
        }
        break;
      }
    }
    m.isPublic = isPub;
    (isPub ? pub : pri).push_back(m);
  }
  names.methods = pub;
  names.methods.insert(names.methods.end(), pri.begin(), pri.end());
  return names;
}

}  // namespace brevin::recovery
