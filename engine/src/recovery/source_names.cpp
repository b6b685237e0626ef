// Reads PUB and PRI lines of a Spin source: the names at the start of a line,
// skipping comments in braces.
#include "recovery/source_names.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>

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

// The count of "[count]" with at on the "[": a number or a CON name that the
// block reads as a number; at moves past the "]". None when it is neither.
std::optional<long> BracketCount(const std::string& line, std::size_t& at, const SourceConstants& constants) {
  const std::size_t close = line.find(']', at);
  if (close == std::string::npos) return std::nullopt;
  const std::string count = line.substr(at + 1, close - at - 1);
  at = close + 1;
  const std::optional<std::int64_t> value = constants.Evaluate(count);
  return value ? std::optional<long>(static_cast<long>(*value)) : std::nullopt;
}

// A line without its ' comment (outside strings).
std::string WithoutComment(const std::string& line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == '\'' && !quoted) return line.substr(0, i);
  }
  return line;
}

// The lines of a source with CR LF, CR and LF all ending a line, and the
// text inside braces (comments, nested; a "{{" comment ends at the first
// "}}", whatever braces it holds) blanked out.
std::vector<std::string> SourceLines(const std::string& text) {
  std::vector<std::string> lines(1);
  int braces = 0;
  bool quoted = false;
  bool document = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
      quoted = false;
      continue;
    }
    std::string& line = lines.back();
    if (document || (braces == 0 && !quoted && c == '{' && i + 1 < text.size() && text[i + 1] == '{')) {
      const bool closes = document && c == '}' && i + 1 < text.size() && text[i + 1] == '}';
      const bool opens = !document;
      document = !closes;
      line += ' ';
      if (opens || closes) {
        line += ' ';
        ++i;
      }
      continue;
    }
    if (braces == 0 && c == '"') quoted = !quoted;
    if (braces == 0 && !quoted && c == '\'') {
      // A line comment: the rest of the line, unless a brace comment opens in it.
      while (i + 1 < text.size() && text[i + 1] != '\r' && text[i + 1] != '\n') ++i;
      continue;
    }
    if (!quoted && c == '{') {
      ++braces;
      line += ' ';
      continue;
    }
    if (!quoted && c == '}' && braces > 0) {
      --braces;
      line += ' ';
      continue;
    }
    line += braces > 0 ? ' ' : c;
  }
  return lines;
}

// The names a line of code uses, upper-case (strings skipped), and the
// numbers it writes as numbers.
void NamesOf(const std::string& line, SourceMethodName& method) {
  if (line.find_first_not_of(" \t") == std::string::npos) return;
  method.body.emplace_back();
  std::set<std::string>& names = method.body.back().names;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size();) {
    const char c = line[i];
    const bool numberStart = std::isdigit(static_cast<unsigned char>(c)) || c == '$' || c == '%';
    if (!quoted && numberStart && (i == 0 || (!std::isalnum(static_cast<unsigned char>(line[i - 1])) && line[i - 1] != '_'))) {
      // The number as the compiler cuts it, a float ("0.3", "1.5e-3") whole.
      const std::vector<SourceElement> cut = CutSource(std::string_view(line).substr(i));
      const SourceElement& number = cut.front();
      if (number.value) method.body.back().numbers.insert(static_cast<std::int32_t>(static_cast<std::uint32_t>(*number.value)));
      if (number.real) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &*number.real, sizeof bits);
        method.body.back().numbers.insert(static_cast<std::int32_t>(bits));
      }
      i += std::max<std::size_t>(1, number.end);
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && (std::isalpha(static_cast<unsigned char>(c)) || c == '_') &&
        (i == 0 || (!std::isalnum(static_cast<unsigned char>(line[i - 1])) && line[i - 1] != '_' && line[i - 1] != '#' &&
                    line[i - 1] != '.' && line[i - 1] != '$' && line[i - 1] != '%'))) {
      std::string name;
      while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_'))
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(line[i++])));
      names.insert(name);
      continue;
    }
    ++i;
  }
}

// One VAR line: "long a, b[4]"; a comment ends it. A count that is neither a
// number nor a known constant makes the VAR block unknown.
void ReadVariables(std::string line, const SourceConstants& constants, SourceNames& names) {
  line = WithoutComment(line);
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
      const std::size_t open = at;
      const std::optional<long> value = BracketCount(line, at, constants);
      if (at == open) {
        names.variablesKnown = false;
        return;
      }
      // A count not read here (a child's constant) is left for the layout to
      // find; "[0]" declares a name for the next variable's address.
      if (value && (*value < 0 || *value > 32768)) {
        names.variablesKnown = false;
        return;
      }
      variable.count = value ? static_cast<int>(*value) : -1;
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

// One OBJ line: name : "file" or name[count] : "file". False when a count
// cannot be worked out: the table's entries are then not known here.
bool ReadObject(const std::string& line, SourceNames& names) {
  std::size_t at = 0;
  SourceObjectName object;
  object.name = Identifier(line, at);
  if (object.name.empty()) return true;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  if (at < line.size() && line[at] == '[') {
    const std::optional<long> count = BracketCount(line, at, names.constants);
    if (!count || *count < 1 || *count > 255) {
      names.objects.clear();
      return false;
    }
    object.count = static_cast<int>(*count);
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
  return true;
}

// A PUB or PRI line: name, parameters, ": result" and "| local, array[count]".
bool ReadMethodHead(const std::string& line, const SourceConstants& constants, SourceMethodName& m) {
  std::size_t at = 3;
  m.name = Identifier(line, at);
  if (m.name.empty()) return false;
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
  return true;
}

// The block a line starts, when it starts one at its first column.
const char* BlockOf(const std::string& line) {
  for (const char* block : {"CON", "VAR", "DAT", "PUB", "PRI", "OBJ"}) {
    std::size_t n = 0;
    while (block[n] && n < line.size() && std::toupper(static_cast<unsigned char>(line[n])) == block[n]) ++n;
    if (block[n] == 0 && (n == line.size() || (!std::isalnum(static_cast<unsigned char>(line[n])) && line[n] != '_')))
      return block;
  }
  return nullptr;
}

}  // namespace

SourceNames ReadSourceNames(const std::string& text, const SourceExpressionValue& outside) {
  std::vector<SourceMethodName> pub, pri;
  bool inObj = false;
  bool inVar = false;
  bool inCon = false;
  SourceNames names;
  const std::vector<std::string> lines = SourceLines(text);
  // The CON blocks first: VAR and local counts may name their constants.
  names.constants.Read(text, outside);
  const SourceConstants& constants = names.constants;
  SourceMethodName* body = nullptr;  // the method whose body the lines are
  for (std::string line : lines) {
    if (BlockOf(line)) body = nullptr;
    if (body && !BlockOf(line)) {
      NamesOf(line, *body);
      continue;
    }
    // Block keywords start at the line's first column ("VAR_X long 0" in a
    // DAT block is a label, not a block).
    if (const char* block = BlockOf(line)) {
      inObj = std::string(block) == "OBJ";
      inVar = std::string(block) == "VAR";
      inCon = std::string(block) == "CON";
      if (inObj || inVar || inCon) line = line.substr(3);
    }
    if (inCon) continue;
    if (inVar) {
      ReadVariables(line, constants, names);
      continue;
    }
    if (inObj) {
      if (!ReadObject(line, names)) inObj = false;
      continue;
    }
    const bool isPub = Word(line, 0, "PUB");
    const bool isPri = Word(line, 0, "PRI");
    if (!isPub && !isPri) continue;
    SourceMethodName m;
    if (!ReadMethodHead(line, constants, m)) continue;
    m.isPublic = isPub;
    std::vector<SourceMethodName>& list = isPub ? pub : pri;
    list.push_back(m);
    body = &list.back();
  }
  names.methods = pub;
  names.methods.insert(names.methods.end(), pri.begin(), pri.end());
  return names;
}

}  // namespace brevin::recovery
