#include "input_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace brevin::platform {

namespace {

// How long a FIFO is given for a writer to open it.
constexpr int kFifoWriterWaitMs = 500;

std::string CannotRead(int error) { return std::string("cannot be read (") + std::strerror(error) + ")"; }

// Why a file of this kind is no input, or empty when it is one (a regular
// file, a FIFO or pipe).
std::string KindProblem(mode_t mode) {
  if (S_ISREG(mode) || S_ISFIFO(mode)) return {};
  if (S_ISDIR(mode)) return "is a folder, not an image file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not an image file";
  if (S_ISSOCK(mode)) return "is a socket, not an image file";
  return "is not a regular file";
}

// Reads up to one byte past an image into input.bytes; false with the reason
// in input.problem on a read error. A descriptor someone left non-blocking is
// waited on rather than given up.
bool ReadUpToLimit(int fd, InputFile& input) {
  constexpr std::size_t kLimit = kImageBytes + 1;
  input.bytes.resize(kLimit);
  std::size_t size = 0;
  while (size < kLimit) {
    const ssize_t got = ::read(fd, input.bytes.data() + size, kLimit - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd wait{};
      wait.fd = fd;
      wait.events = POLLIN;
      if (::poll(&wait, 1, -1) >= 0 || errno == EINTR) continue;
    }
    if (got < 0) {
      input.bytes.clear();
      input.problem = CannotRead(errno);
      return false;
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  input.bytes.resize(size);
  return true;
}

}  // namespace

InputFile ReadInputFile(const std::string& path) {
  InputFile input;
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) {
    input.problem = path.empty() || errno == ENOENT || errno == ENOTDIR ? "no such file" : CannotRead(errno);
    return input;
  }
  // Refused before opening: opening a device may act on it.
  if (input.problem = KindProblem(st.st_mode); !input.problem.empty()) return input;
  // O_NONBLOCK: a FIFO opens at once even when nothing writes to it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    input.problem = CannotRead(errno);
    return input;
  }
  // The path may have been replaced since the stat: the open file is what counts.
  if (::fstat(fd, &st) != 0 || !(input.problem = KindProblem(st.st_mode)).empty()) {
    if (input.problem.empty()) input.problem = CannotRead(errno);
    ::close(fd);
    return input;
  }
  if (S_ISFIFO(st.st_mode)) {
    // A writer started beside this program may not have opened the FIFO yet:
    // wait a moment for its first bytes (or its end); a writer that is there
    // but slow is then waited for by the reads below.
    pollfd wait{};
    wait.fd = fd;
    wait.events = POLLIN;
    while (::poll(&wait, 1, kFifoWriterWaitMs) < 0 && errno == EINTR) {
    }
  }
  // Blocking reads from here: a FIFO with a writer waits for its bytes, and one
  // whose writer never came (or has gone) reads its end at once.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  const bool read = ReadUpToLimit(fd, input);
  ::close(fd);
  if (!read) return input;
  if (S_ISREG(st.st_mode)) input.fileSize = static_cast<std::uint64_t>(st.st_size);
  if (input.bytes.empty()) input.problem = S_ISREG(st.st_mode) ? "the file is empty" : "the pipe is empty (nothing was written to it)";
  return input;
}

InputFile ReadInputDescriptor(int fd) {
  InputFile input;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    input.problem = "is a folder, not an image file";
    return input;
  }
  if (ReadUpToLimit(fd, input) && input.bytes.empty()) input.problem = "the input is empty";
  return input;
}

}  // namespace brevin::platform
