// Reading an input image into memory once, for the command line: a regular
// file, a pipe or FIFO (process substitution, `mkfifo`) or standard input.
//
// - At most 32,768 bytes and one more are read: the extra byte tells that the
//   input is longer, and an endless pipe is read no further.
// - A FIFO is opened without waiting for a writer. With a writer (one that
//   opens it within half a second will do) it is then read as a pipe, to its
//   end; with none it reads as empty, so one forgotten FIFO never holds up a
//   batch.
// - A folder, a device or a socket is refused by its kind before it is
//   opened: opening a serial port or a tape has effects of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brevin::platform {

// The most bytes an image holds; one more is read to tell a longer input.
inline constexpr std::size_t kImageBytes = 32768;

struct InputFile {
  std::vector<std::uint8_t> bytes;        // what was read: at most kImageBytes + 1
  std::optional<std::uint64_t> fileSize;  // a regular file's whole size
  // Set when the input cannot be used, meant to follow "PATH: ": "no such
  // file", "is a folder, not an image file", "is a device, not an image
  // file", "cannot be read (Permission denied)", "the file is empty", ...
  std::string problem;

  bool Longer() const { return bytes.size() > kImageBytes; }
};

// Reads the file at path (links followed).
InputFile ReadInputFile(const std::string& path);

// Reads an open descriptor to its end or one byte past an image (standard
// input given as "-"); the descriptor stays open.
InputFile ReadInputDescriptor(int fd);

}  // namespace brevin::platform
