// Paths of the library files, as the XDG base directories and the install layout give them.
#include "library_files.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace brevin::platform {

std::string ShippedLibraryPath() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed = exe.parent_path().parent_path() / "share" / "brevin" / "library" / "objects.tsv";
    if (fs::exists(installed, ec)) return installed.string();
  }
#ifdef BREVIN_SOURCE_LIBRARY
  return BREVIN_SOURCE_LIBRARY;
#else
  return exe.empty() ? std::string() : (exe.parent_path().parent_path() / "share/brevin/library/objects.tsv").string();
#endif
}

std::string UserLibraryPath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  // XDG_DATA_HOME counts only when it is an absolute path; else ~/.local/share.
  if (data != nullptr && data[0] == '/') return std::string(data) + "/brevin/library.tsv";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share/brevin/library.tsv";
  return {};
}

}  // namespace brevin::platform
