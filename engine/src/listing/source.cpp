// Spin source lines beside the methods of the listing. The image holds no
// names, so methods are matched by position: public methods first, then
// private ones, each in source order, as the compiler lays them out.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "brevin/text.h"
#include "brevin/version_text.h"
#include "disassembler.h"

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

// The line without its trailing blanks (a loop: a search for "not a blank"
// looks each character up in a set).
std::string_view WithoutTrailingBlanks(std::string_view line) {
  std::size_t end = line.size();
  while (end > 0 && line[end - 1] == ' ') --end;
  return line.substr(0, end);
}

// The first four characters after the leading blanks, upper-cased (keys are
// ASCII: the C locale's upper case), held without copying the line.
class LineKey {
 public:
  explicit LineKey(std::string_view line) {
    std::size_t first = 0;
    while (first < line.size() && line[first] == ' ') ++first;
    if (first == line.size()) return;
    line = line.substr(first, 4);
    for (const char c : line) text_[size_++] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  bool operator==(std::string_view key) const { return std::string_view(text_, size_) == key; }

 private:
  char text_[4] = {};
  std::size_t size_ = 0;
};

// The text's lines, ended by CR LF, LF or CR alike: no line after a final one.
std::vector<std::string> SplitSourceLines(std::string_view text) {
  const std::vector<std::string_view> views = TextLines(text);
  return {views.begin(), views.end()};
}

bool IsSectionWord(std::string_view text) {
  return text == "PUB" || text == "PRI" || text == "OBJ" || text == "DAT" || text == "CON" || text == "VAR";
}
}  // namespace

void AppendPrintable(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto code = static_cast<unsigned char>(text[i]);
    if (code >= 32 && code <= 126) {
      // A run of printable characters goes in at once.
      std::size_t end = i + 1;
      while (end < text.size() && static_cast<unsigned char>(text[end]) >= 32 &&
             static_cast<unsigned char>(text[end]) <= 126) {
        ++end;
      }
      out.append(text.data() + i, end - i);
      i = end;
    } else {
      out.push_back(' ');
      i += code < 0x80 ? 1 : std::max<std::size_t>(Utf8SequenceLength(text, i), 1);
    }
  }
}

std::string PrintableText(const std::string& text) {
  std::string out;
  AppendPrintable(out, text);
  return out;
}

void Disassembler::PrepareSource() {
  SourceReadPath = SourcePath;
  sourceCache_.clear();
  if (!IncludeSource) return;
  std::error_code ec;
  if (!SourcePath.empty() && std::filesystem::is_regular_file(SourcePath, ec)) {
    SourceWarningArmed = true;
    if (host_.PropellerToolRunning() && !Opt.InhibitWarnings) {
      const std::string crlf(kCrLf);
      Notices.push_back({MessageIcon::Warning,
                         "The Propller Tool is being used." + crlf + crlf +
                             "Please ensure you have saved the source file within the Propeller Tool if it is "
                             "being edited or the included source code may not be the same as the Spin program "
                             "being decompiled."});
    }
    return;
  }
  IncludeSource = false;
  if (SourceWarningArmed) {
    SourceWarningArmed = false;
    if (!Opt.InhibitWarnings) {
      Notices.push_back(
          {MessageIcon::Information, "Cannot find source file" + std::string(kCrLf) + std::string(kCrLf) + SourcePath});
    }
  }
}

void Disassembler::InsertMethodSource(std::int64_t entry) {
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
  LineHub = -1;
  LineCog = -1;
  InstrBytes.clear();
  LineLabel.clear();
  LineOperand.clear();
  lastSourceHeader_.clear();
  lineKind_ = LineKind::Source;
  NextMethodSource(true);
  lineKind_ = LineKind::Text;
  if (!lastSourceHeader_.empty()) methodSourceNames_[entry] = lastSourceHeader_;
  LineLabel = savedLabel;
}

void Disassembler::NextMethodSource(bool list) {
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

const Disassembler::SourceFile* Disassembler::SourceFileAt(const std::string& path) {
  // Each file is read once per analysis; the methods then walk its lines.
  auto [it, added] = sourceCache_.try_emplace(path);
  if (added) {
    std::error_code ec;
    std::FILE* in = std::filesystem::is_regular_file(path, ec) ? std::fopen(path.c_str(), "rb") : nullptr;
    if (in != nullptr) {
      std::string text;
      char chunk[4096];
      for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;) text.append(chunk, got);
      const bool failed = std::ferror(in) != 0;
      std::fclose(in);
      if (!failed) {
        SourceFile file;
        file.lines = SplitSourceLines(SpinSourceText(text));
        for (std::size_t i = 0; i < file.lines.size(); ++i) {
          // A method header: the key of the line without its trailing blanks.
          const LineKey key(WithoutTrailingBlanks(file.lines[i]));
          if (key == "PUB ") file.pubHeaders.push_back(i);
          if (key == "PRI ") file.priHeaders.push_back(i);
        }
        it->second = std::move(file);
      }
    }
  }
  return it->second ? &*it->second : nullptr;
}

const std::vector<std::string>* Disassembler::SourceLines(const std::string& path) {
  const SourceFile* file = SourceFileAt(path);
  return file != nullptr ? &file->lines : nullptr;
}

bool Disassembler::EmitMethodSource(const std::string& keyword, int n, bool list) {
  const SourceFile* file = SourceFileAt(SourceReadPath);
  if (file == nullptr) {
    // The source went away after the analysis began: list without it, say so once.
    if (!SourceReadWarned) {
      SourceReadWarned = true;
      Warnings.push_back(SourceReadPath + ": cannot be read; source lines are left out");
    }
    return false;
  }
  // The n-th header of the keyword (counted from 1), if the file has that many.
  const std::vector<std::size_t>& headers = keyword == "PUB" ? file->pubHeaders : file->priHeaders;
  if (n < 1 || static_cast<std::size_t>(n) > headers.size()) return false;
  if (!list) return true;
  const std::vector<std::string>* lines = &file->lines;
  std::size_t next = headers[static_cast<std::size_t>(n) - 1] + 1;
  const std::string header = TrimRight((*lines)[next - 1]);
  lastSourceHeader_ = header;
  EmitBlankLine();
  LineOpcode = "; " + header;
  EmitLine();
  // The method's lines run up to the next section keyword or a wrapper trailer.
  for (bool ended = false; !ended && next < lines->size();) {
    const std::string& line = (*lines)[next++];
    const LineKey key(line);
    static constexpr std::string_view kSectionKeys[] = {"PUB ", "PRI ", "OBJ ", "DAT ", "CON ", "VAR "};
    for (std::string_view section : kSectionKeys) ended = ended || key == section;
    if (ended) break;
    if (key == "{ EN") {
      if (line.rfind(kWrapperTrailer, 0) == 0) {
        const std::string rest = TrimRight(TrimLeft(line.substr(kWrapperTrailer.size())));
        SourceReadPath = TrimRight(rest.size() >= 2 ? rest.substr(0, rest.size() - 2) : std::string());
        PubCounter = 0;
        PriCounter = 0;
        MethodsMatched = 0;
        SourceObjectBase = -1;  // the wrapped object is the next one listed
        ended = true;
      }
    } else {
      const std::string_view text = WithoutTrailingBlanks(line);
      if (IsSectionWord(text)) {
        ended = true;
      } else if (!text.empty()) {
        SetText(LineOpcode, "; ");
        AppendPrintable(LineOpcode, text);
        EmitLine();
      }
    }
  }
  EmitBlankLine();
  return true;
}

}  // namespace brevin
