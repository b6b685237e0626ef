#include "propeller_tool.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace brevin::platform {

namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsProcessId(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool CommandLineNamesPropellerTool(const std::string& cmdline) {
  std::size_t start = 0;
  while (start <= cmdline.size()) {
    std::size_t end = cmdline.find('\0', start);
    if (end == std::string::npos) end = cmdline.size();
    const std::string argument = cmdline.substr(start, end - start);
    const std::size_t slash = argument.find_last_of("/\\");
    if (SameNoCase(slash == std::string::npos ? argument : argument.substr(slash + 1), kPropellerToolExe)) return true;
    start = end + 1;
  }
  return false;
}

bool PropellerToolRunning(const std::string& procRoot) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::directory_iterator it(procRoot, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string pid = it->path().filename().string();
    if (!IsProcessId(pid)) continue;
    // Processes come and go while the table is read: an entry that is gone
    // or not readable simply yields nothing.
    std::ifstream in(it->path() / "cmdline", std::ios::binary);
    if (!in) continue;
    const std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (CommandLineNamesPropellerTool(cmdline)) return true;
  }
  return false;
}

bool PropellerToolRunning() { return PropellerToolRunning("/proc"); }

}  // namespace brevin::platform
