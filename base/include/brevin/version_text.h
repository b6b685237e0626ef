// The program's name, version and known-issues texts. Plain functions with no
// window code, so the engine's title block and the command line use them too.
#pragma once

#include <string>
#include <string_view>

#include "brevin/version.h"

namespace brevin {

inline constexpr std::string_view ProductTitle = "Zorvik Disassembler for the Propeller Chip";

// "Version 1.03 #0101".
std::string VersionText(const VersionNumbers& v = kVersion);
// CR LF + prefix + the known-issues line; empty would mean no known issues.
std::string KnownIssuesText(std::string_view prefix);
// The About text: title line, what is new, recent additions and known bugs.
std::string WhatsNewText();

}  // namespace brevin
