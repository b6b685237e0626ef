#include "brevin/version_text.h"

#include "brevin/text.h"

namespace brevin {

std::string VersionText(const VersionNumbers& v) {
  return "Version " + DecText(v.major) + "." + ZeroPad(v.minor, 2) + " #" + ZeroPad(v.revision, 4);
}

std::string KnownIssuesText(std::string_view prefix) {
  return std::string(kCrLf) + std::string(prefix) + "Incomplete 'Using' effects decoding";
}

std::string WhatsNewText() {
  const char* const lines[] = {
      nullptr,  // the title line
      "",
      "New in this version ...",
      "",
      "    * Option to inhibit warning messages",
      "",
      "Recent Additions ...",
      "",
      "    * Better Assembler parsing",
      "    * In-line source code inclusion",
      "    * Variable naming implemented",
      "    * Objects supported",
  };
  std::string text = std::string(ProductTitle) + " - " + VersionText();
  for (std::size_t i = 1; i < std::size(lines); ++i) text += std::string(kCrLf) + lines[i];
  if (!KnownIssuesText("").empty()) {
    const std::string item = KnownIssuesText("    * ").substr(kCrLf.size());
    text += std::string(kCrLf) + std::string(kCrLf) + "Known Bugs ..." + std::string(kCrLf) + std::string(kCrLf) + item;
  }
  return text;
}

}  // namespace brevin
