// Writing a whole output file (a listing, a report, debug text, a PDF) so that
// nothing is lost: the one writer of the command line, the batch and the window.
//
// - A missing target or a regular file is written through a temporary file in
//   its folder and renamed into place, so a failed write leaves the old file
//   as it was; the new file keeps the old one's mode, and its owner and group
//   where the process may set them.
// - A symbolic link is followed: its target is replaced, the link stays.
// - A regular file with more than one name (a hard link) is rewritten in
//   place once the whole text is ready, so all its names keep seeing it.
// - Anything else (a device, a FIFO) is opened and written directly, as a
//   shell redirection would: `/dev/null` stays a device.
// - A read-only file, a folder that forbids the temporary file, a folder as
//   target and one of the run's input files are refused without writing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brevin::platform {

// Names a file however its path is spelled: the device and inode numbers.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file path leads to (links followed); none for
// anything else: a device or FIFO read as input is no file that output could destroy.
std::optional<FileIdentity> IdentityOf(const std::string& path);
// The same for an open file descriptor (standard input given as "-").
std::optional<FileIdentity> IdentityOfDescriptor(int fd);

// The refusal when the target is one of the inputs.
inline constexpr std::string_view kOverwritesInput = "the output would overwrite the image";

// Whether path can take an output, checked without writing anything: empty
// when it can, else the reason (see WriteOutputFile). Lets a run refuse a bad
// target before it does any work.
std::string CheckOutputTarget(const std::string& path, const std::vector<FileIdentity>& inputs = {});

// Writes contents as the whole of path. Empty on success, else the reason,
// meant to follow the path and ": " in a message: "is a folder", the refusal
// above, or "cannot be written: " and the system's reason ("No space left on
// device", "Permission denied", "the file is read-only"). No temporary file is
// left behind either way.
std::string WriteOutputFile(const std::string& path, std::string_view contents,
                            const std::vector<FileIdentity>& inputs = {});

}  // namespace brevin::platform
