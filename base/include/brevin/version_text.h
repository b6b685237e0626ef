// The program's name, version and known-issues texts. Plain functions with no
// window code, so the engine's title block and the command line use them too.
#pragma once

#include <string>
#include <string_view>

#include "brevin/version.h"

namespace brevin {

inline constexpr std::string_view ProductTitle = "Zorvik Disassembler for the Propeller Chip";

// The package's version, "1.3.101": what `brevin-cli --version` names first.
inline constexpr std::string_view PackageVersion = kPackageVersion;

// The licence line that `--version` prints last, in both programs.
inline constexpr std::string_view LicenceLine =
    "License: proprietary. The notices of the libraries built in are in /usr/share/doc/brevin/copyright.";

// "Version 1.03 #0101".
std::string VersionText(const VersionNumbers& v = kVersion);
// CR LF + prefix + the known-issues line; empty would mean no known issues.
std::string KnownIssuesText(std::string_view prefix);
// The About text: title line, what is new, recent additions and known bugs.
std::string WhatsNewText();

}  // namespace brevin
