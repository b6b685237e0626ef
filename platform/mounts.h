// The places the file search walks on a system without drive letters: Wine's
// C: drives, the home folder and the mount points of real file systems.
#pragma once

#include <string>
#include <vector>

namespace brevin::platform {

struct MountEntry {
  std::string device;
  std::string mountPoint;
  std::string type;
};

// The lines of a mounts table (/proc/self/mounts format). The octal escapes
// the kernel writes for blanks and other characters in paths are undone.
std::vector<MountEntry> ParseMounts(const std::string& text);

// Kernel and memory file systems (proc, sysfs, tmpfs, cgroup, ...) that hold
// no user files.
bool IsVirtualFileSystem(const std::string& type);

// The mount point that holds path: the longest mount point that is the path
// itself or one of its parent folders. Empty when none does.
std::string MountPointOf(const std::vector<std::string>& mountPoints, const std::string& path);

// The mount points of real file systems, each once: the one holding the
// program first, the one holding the current folder second, then the rest in
// table order.
std::vector<std::string> OrderedMountPoints(const std::string& mountsText, const std::string& programPath,
                                            const std::string& currentPath);

// Where the disk search walks, in order: $WINEPREFIX/drive_c and
// ~/.wine/drive_c when they exist (they sit inside dot-folders, which the
// search never enters), the home folder, then the ordered mount points.
// Paths are given without a trailing "/" (except "/" itself), each once.
std::vector<std::string> SearchRoots(const std::string& winePrefix, const std::string& home,
                                     const std::string& mountsText, const std::string& programPath,
                                     const std::string& currentPath);

// The text of /proc/self/mounts; empty when it cannot be read.
std::string ReadMountsTable();

}  // namespace brevin::platform
