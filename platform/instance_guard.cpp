#include "instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace brevin::platform {

namespace {

bool IsFolder(const char* path) {
  struct stat st {};
  return path != nullptr && *path != '\0' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Takes a lock, retrying for a short while when another instance holds a
// conflicting one for the moment of its own probe.
bool LockWithRetry(int fd, int operation) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (::flock(fd, operation | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    ::usleep(5000);
  }
  return false;
}

}  // namespace

InstanceGuard::InstanceGuard(const std::string& lockPath) {
  // O_NOFOLLOW: in a shared temporary folder a planted link must not redirect the file.
  fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) return;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    othersRunning_ = false;
  } else if (errno == EWOULDBLOCK) {
    othersRunning_ = true;
  } else {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  // Keep a shared mark for as long as this instance lives.
  if (!LockWithRetry(fd_, LOCK_SH)) {
    ::close(fd_);
    fd_ = -1;
  }
}

InstanceGuard::~InstanceGuard() {
  if (fd_ >= 0) ::close(fd_);
}

std::string RuntimeFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); IsFolder(runtime)) return runtime;
  if (const char* tmp = std::getenv("TMPDIR"); IsFolder(tmp)) return tmp;
  return "/tmp";
}

std::string InstanceLockPath(const std::string& settingsPath) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char ch : settingsPath) {
    const auto c = static_cast<unsigned char>(ch);
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "/brevin-%u-%016llx.lock", static_cast<unsigned>(::getuid()),
                static_cast<unsigned long long>(hash));
  return RuntimeFolder() + name;
}

}  // namespace brevin::platform
