#include "spin_compiler.h"

#include <cstdlib>
#include <iostream>

namespace fs = std::filesystem;

namespace brevin::test {

std::string ShellQuote(const std::string& text) { return "'" + text + "'"; }

fs::path SharedSpinCompiler(const fs::path& shared, const fs::path& work) {
  const fs::path folder = work.parent_path() / "spin-compiler";
  const fs::path compiler = folder / "openspin";
  if (fs::exists(compiler)) return compiler;
  const fs::path log = work / "build-compiler.log";
  const std::string build = ShellQuote((shared / "tools" / "build-spin-compiler").string()) + " " +
                            ShellQuote(folder.string()) + " > " + ShellQuote(log.string()) + " 2>&1";
  if (std::system(build.c_str()) != 0 || !fs::exists(compiler)) {
    std::cerr << "the compiler could not be built: see " << log.string() << "\n";
    return {};
  }
  return compiler;
}

}  // namespace brevin::test
