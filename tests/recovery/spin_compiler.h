// The Spin compiler of the shared tools, built once per build tree for the
// recovery tests that compile what they recover.
#pragma once

#include <filesystem>
#include <string>

namespace brevin::test {

// The text in single quotes for the shell (the test paths hold no quote).
std::string ShellQuote(const std::string& text);

// The compiler in WORK's parent folder ("spin-compiler/openspin"), built from
// SHARED/tools when it is not there yet; an empty path, with a line on
// standard error, when it cannot be built.
std::filesystem::path SharedSpinCompiler(const std::filesystem::path& shared, const std::filesystem::path& work);

}  // namespace brevin::test
