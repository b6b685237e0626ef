// Whether the Propeller Tool is running.
//
// The tool is a Windows program; on Linux it runs under Wine, whose processes
// keep the Windows program path on their command line. The tool counts as
// running when some process's command line names "Propeller.exe" (any letter
// case), either as the program itself or as the argument of a loader such as
// "wine".
#pragma once

#include <string>

namespace brevin::platform {

// The tool's program file name.
inline constexpr const char* kPropellerToolExe = "Propeller.exe";

// True when one of the NUL-separated arguments of a /proc command line is a
// path whose last part (after "/" or "\") is Propeller.exe in any letter case.
bool CommandLineNamesPropellerTool(const std::string& cmdline);

// Scans procRoot/<pid>/cmdline for every numeric entry. A process that cannot
// be read, or that ends while it is read, is skipped.
bool PropellerToolRunning(const std::string& procRoot);
bool PropellerToolRunning();

}  // namespace brevin::platform
