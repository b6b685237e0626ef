// Spin source lines beside the methods of the listing. The image holds no
// names, so methods are matched by position: public methods first, then
// private ones, each in source order, as the compiler lays them out.
#include <filesystem>
#include <fstream>

#include "engine.h"
#include "text.h"
#include "version_text.h"

namespace brevin {

namespace {
// The last line of a test wrapper names the source of the object it wraps.
constexpr std::string_view kWrapperTrailer = "  { End of Test Wrapper For Varnel }{ ";

std::string TrimRight(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

std::string TrimLeft(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

// The first four characters after the leading blanks, upper-cased.
std::string KeyOf(const std::string& line) {
  std::string key = TrimLeft(line).substr(0, 4);
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

// KeyOf(TrimRight(line)) == key, without copying the line: every method's
// search walks the source's lines from the top.
bool HeaderKeyIs(std::string_view line, std::string_view key) {
  const auto last = line.find_last_not_of(' ');
  line = last == std::string_view::npos ? std::string_view() : line.substr(0, last + 1);
  const auto first = line.find_first_not_of(' ');
  line = first == std::string_view::npos ? std::string_view() : line.substr(first, 4);
  if (line.size() != key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (static_cast<char>(std::toupper(static_cast<unsigned char>(line[i]))) != key[i]) return false;
  }
  return true;
}

bool ReadLine(std::ifstream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool IsSectionWord(const std::string& text) {
  return text == "PUB" || text == "PRI" || text == "OBJ" || text == "DAT" || text == "CON" || text == "VAR";
}
}  // namespace

std::string PrintableText(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 32 || code > 126) c = ' ';
  }
  return out;
}

void Engine::PrepareSource() {
  SourceReadPath = SourcePath;
  sourceCache_.clear();
  if (!IncludeSource) return;
  std::error_code ec;
  if (!SourcePath.empty() && std::filesystem::is_regular_file(SourcePath, ec)) {
    SourceWarningArmed = true;
    if (host_.PropellerToolRunning() && !Opt.InhibitWarnings) {
      const std::string crlf(kCrLf);
      host_.ShowMessage(std::string(ProductTitle),
                        "The Propller Tool is being used." + crlf + crlf +
                            "Please ensure you have saved the source file within the Propeller Tool if it is being "
                            "edited or the included source code may not be the same as the Spin program being "
                            "decompiled.",
                        MessageButtons::Ok, MessageIcon::Warning);
    }
    return;
  }
  IncludeSource = false;
  if (SourceWarningArmed) {
    SourceWarningArmed = false;
    if (!Opt.InhibitWarnings) {
      host_.ShowMessage(std::string(ProductTitle),
                        "Cannot find source file" + std::string(kCrLf) + std::string(kCrLf) + SourcePath,
                        MessageButtons::Ok, MessageIcon::Information);
    }
  }
}

void Engine::InsertMethodSource(std::int64_t entry) {
  // Only the methods of the object whose source is read are matched; their
  // table index says how many methods came before, listed or not.
  if (SourceObjectBase < 0) SourceObjectBase = ObjBase;
  if (ObjBase != SourceObjectBase) return;
  int index = 0;
  for (int k = 1; k < 256 && ObjBase + 4 * k < entry; ++k) {
    if (ObjBase + WordAt(ObjBase + 4 * k) == entry) {
      index = k;
      break;
    }
  }
  while (MethodsMatched + 1 < index && (PubCounter >= 0 || PriCounter >= 0)) {
    NextMethodSource(false);  // a method the tracer never reached
  }
  const std::string savedLabel = LineLabel;
  LineAddr = "====";
  InstrBytes.clear();
  LineLabel.clear();
  LineOperand.clear();
  lastSourceHeader_.clear();
  NextMethodSource(true);
  if (!lastSourceHeader_.empty()) methodSourceNames_[entry] = lastSourceHeader_;
  LineLabel = savedLabel;
}

void Engine::NextMethodSource(bool list) {
  ++MethodsMatched;
  if (PubCounter >= 0) {
    ++PubCounter;
    if (!EmitMethodSource("PUB", PubCounter, list)) {
      PubCounter = -1;
      PriCounter = 1;
      if (!EmitMethodSource("PRI", 1, list)) PriCounter = -1;
    }
  } else if (PriCounter >= 0) {
    ++PriCounter;
    if (!EmitMethodSource("PRI", PriCounter, list)) PriCounter = -1;
  }
}

const std::vector<std::string>* Engine::SourceLines(const std::string& path) {
  // Each file is read once per analysis; the methods then walk its lines.
  auto [it, added] = sourceCache_.try_emplace(path);
  if (added) {
    std::error_code ec;
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, ec)) in.open(path);
    if (in.is_open()) {
      std::vector<std::string> lines;
      for (std::string line; ReadLine(in, line);) lines.push_back(std::move(line));
      it->second = std::move(lines);
    }
  }
  return it->second ? &*it->second : nullptr;
}

bool Engine::EmitMethodSource(const std::string& keyword, int n, bool list) {
  const std::string key = keyword + " ";
  const std::vector<std::string>* lines = SourceLines(SourceReadPath);
  if (lines == nullptr) {
    // The source went away after the analysis began: list without it, say so once.
    if (!SourceReadWarned) {
      SourceReadWarned = true;
      Warnings.push_back(SourceReadPath + ": cannot be read; source lines are left out");
    }
    return false;
  }
  bool found = false;
  std::size_t next = 0;
  while (!found && next < lines->size()) {
    if (!HeaderKeyIs((*lines)[next++], key) || --n != 0) continue;
    const std::string header = TrimRight((*lines)[next - 1]);
    if (!list) return true;
    lastSourceHeader_ = header;
    EmitBlankLine();
    LineOpcode = "; " + header;
    EmitLine();
    while (!found) {
      if (next >= lines->size()) {
        found = true;
        break;
      }
      const std::string& line = (*lines)[next++];
      const std::string k = KeyOf(line);
      if (k == "PUB " || k == "PRI " || k == "OBJ " || k == "DAT " || k == "CON " || k == "VAR ") {
        found = true;
      } else if (k == "{ EN") {
        if (line.rfind(kWrapperTrailer, 0) == 0) {
          const std::string rest = TrimRight(TrimLeft(line.substr(kWrapperTrailer.size())));
          SourceReadPath = TrimRight(rest.size() >= 2 ? rest.substr(0, rest.size() - 2) : std::string());
          PubCounter = 0;
          PriCounter = 0;
          MethodsMatched = 0;
          SourceObjectBase = -1;  // the wrapped object is the next one listed
          found = true;
        }
      } else {
        const std::string text = TrimRight(line);
        if (IsSectionWord(text)) {
          found = true;
        } else if (!text.empty()) {
          LineOpcode = "; " + PrintableText(text);
          EmitLine();
        }
      }
    }
    EmitBlankLine();
  }
  return found;
}

}  // namespace brevin
