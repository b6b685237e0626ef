// Reads PUB and PRI lines of a Spin source: the names at the start of a line,
// skipping comments in braces.
#include "recovery/source_names.h"

#include <cctype>
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

}  // namespace

SourceNames ReadSourceNames(const std::string& text) {
  std::vector<SourceMethodName> pub, pri;
  std::istringstream in(text);
  std::string line;
  int braces = 0;
  bool inObj = false;
  SourceNames names;
  while (std::getline(in, line)) {
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
        if (inObj) line = line.substr(3);
      }
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
      if (at < line.size() && line[at] == ':') names.objects.push_back(object);
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
    }
    m.isPublic = isPub;
    (isPub ? pub : pri).push_back(m);
  }
  names.methods = pub;
  names.methods.insert(names.methods.end(), pri.begin(), pri.end());
  return names;
}

}  // namespace brevin::recovery
