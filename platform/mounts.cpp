#include "mounts.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace brevin::platform {

namespace {

// "\040" and the like back to the character.
std::string Unescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

void AddOnce(std::vector<std::string>& list, const std::string& path) {
  if (!path.empty() && std::find(list.begin(), list.end(), path) == list.end()) list.push_back(path);
}

}  // namespace

std::vector<MountEntry> ParseMounts(const std::string& text) {
  std::vector<MountEntry> entries;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    MountEntry entry;
    if (!(fields >> entry.device >> entry.mountPoint >> entry.type)) continue;
    entry.device = Unescape(entry.device);
    entry.mountPoint = Unescape(entry.mountPoint);
    entries.push_back(entry);
  }
  return entries;
}

bool IsVirtualFileSystem(const std::string& type) {
  static const char* const kVirtual[] = {
      "proc",      "sysfs",      "devtmpfs", "tmpfs",  "cgroup",  "cgroup2",    "devpts",   "securityfs",
      "debugfs",   "tracefs",    "pstore",   "bpf",    "mqueue",  "hugetlbfs",  "configfs", "fusectl",
      "autofs",    "binfmt_misc", "efivarfs", "ramfs", "rpc_pipefs", "nsfs",    "selinuxfs",
      "fuse.gvfsd-fuse", "fuse.portal", "squashfs"};
  return std::find(std::begin(kVirtual), std::end(kVirtual), type) != std::end(kVirtual);
}

std::string MountPointOf(const std::vector<std::string>& mountPoints, const std::string& path) {
  std::string best;
  for (const std::string& mount : mountPoints) {
    const bool holds = path == mount || mount == "/" ||
                       (path.size() > mount.size() && path.compare(0, mount.size(), mount) == 0 && path[mount.size()] == '/');
    if (holds && mount.size() > best.size()) best = mount;
  }
  return best;
}

std::vector<std::string> OrderedMountPoints(const std::string& mountsText, const std::string& programPath,
                                            const std::string& currentPath) {
  std::vector<std::string> real;
  for (const MountEntry& entry : ParseMounts(mountsText)) {
    if (!IsVirtualFileSystem(entry.type) && !entry.mountPoint.empty() && entry.mountPoint[0] == '/') {
      AddOnce(real, WithoutTrailingSlash(entry.mountPoint));
    }
  }
  std::vector<std::string> ordered;
  AddOnce(ordered, MountPointOf(real, programPath));
  AddOnce(ordered, MountPointOf(real, currentPath));
  for (const std::string& mount : real) AddOnce(ordered, mount);
  return ordered;
}

std::vector<std::string> SearchRoots(const std::string& winePrefix, const std::string& home,
                                     const std::string& mountsText, const std::string& programPath,
                                     const std::string& currentPath) {
  std::vector<std::string> roots;
  const auto addFolder = [&roots](const std::string& path) {
    if (IsFolder(path)) AddOnce(roots, WithoutTrailingSlash(path));
  };
  if (!winePrefix.empty()) addFolder(WithoutTrailingSlash(winePrefix) + "/drive_c");
  if (!home.empty()) {
    addFolder(WithoutTrailingSlash(home) + "/.wine/drive_c");
    addFolder(home);
  }
  for (const std::string& mount : OrderedMountPoints(mountsText, programPath, currentPath)) addFolder(mount);
  return roots;
}

std::string ReadMountsTable() {
  std::ifstream in("/proc/self/mounts", std::ios::binary);
  if (!in) return std::string();
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace brevin::platform
