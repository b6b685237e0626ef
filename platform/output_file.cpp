#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

namespace brevin::platform {

namespace {

std::string CannotWrite(int error) { return std::string("cannot be written: ") + std::strerror(error); }

FileIdentity IdentityOfStat(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links from path to the file that is finally written (which
// need not exist: a dangling link creates its target, as a redirection does).
// False with error set when the links go round in a loop.
bool ResolveLinks(std::string& path, int& error) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::string target(256, '\0');
    for (;;) {
      const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
      if (length < 0) {
        error = errno;
        return false;
      }
      if (static_cast<std::size_t>(length) < target.size()) {
        target.resize(static_cast<std::size_t>(length));
        break;
      }
      target.resize(target.size() * 2);
    }
    if (target.starts_with('/')) {
      path = target;
    } else {
      const std::string folder = FolderOf(path);
      path = folder == "." ? target : folder == "/" ? "/" + target : folder + "/" + target;
    }
  }
  error = ELOOP;
  return false;
}

struct Target {
  std::string path;  // with the links followed
  bool exists = false;
  struct stat st {};
};

// The checks shared by CheckOutputTarget and WriteOutputFile.
std::string Examine(const std::string& path, const std::vector<FileIdentity>& inputs, Target& t) {
  if (path.empty()) return CannotWrite(ENOENT);
  t.path = path;
  int error = 0;
  if (!ResolveLinks(t.path, error)) return CannotWrite(error);
  if (::stat(t.path.c_str(), &t.st) == 0) {
    t.exists = true;
  } else if (errno != ENOENT) {
    return CannotWrite(errno);
  }
  if (t.exists) {
    if (S_ISDIR(t.st.st_mode)) return "is a folder";
    if (std::find(inputs.begin(), inputs.end(), IdentityOfStat(t.st)) != inputs.end()) {
      return std::string(kOverwritesInput);
    }
    if (!S_ISREG(t.st.st_mode)) return {};  // a device or FIFO: opening it tells
    if (::faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0) return CannotWrite(errno);
    // Root may write anything; a file nobody may write is still not to be replaced.
    if ((t.st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return "cannot be written: the file is read-only";
    if (t.st.st_nlink > 1) return {};  // rewritten in place
  }
  // A new file, or the replacement of a regular one, is made in the folder.
  if (::faccessat(AT_FDCWD, FolderOf(t.path).c_str(), W_OK | X_OK, AT_EACCESS) != 0) return CannotWrite(errno);
  return {};
}

bool WriteAll(int fd, std::string_view data, int& error) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), std::min<std::size_t>(data.size(), 1 << 30));
    if (written < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (written == 0) {
      error = EIO;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A device or FIFO: written as it is, never replaced.
std::string WriteDirect(const Target& t, std::string_view contents) {
  const int fd = ::open(t.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return CannotWrite(errno);
  int error = 0;
  const bool written = WriteAll(fd, contents, error);
  if (::close(fd) != 0 && written) error = errno;
  return written && error == 0 ? std::string() : CannotWrite(error);
}

// A file with several names: rewritten in place, after reserving its new size
// so that a full disk is found before any old byte is overwritten.
std::string WriteInPlace(const Target& t, std::string_view contents) {
  int fd = ::open(t.path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) fd = ::open(t.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return CannotWrite(errno);
  if (!contents.empty()) {
    const int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(contents.size()));
    if (reserved == ENOSPC || reserved == EFBIG || reserved == EDQUOT) {
      ::close(fd);
      return CannotWrite(reserved);
    }
  }
  int error = 0;
  bool written = WriteAll(fd, contents, error);
  if (written && ::ftruncate(fd, static_cast<off_t>(contents.size())) != 0) {
    written = false;
    error = errno;
  }
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  return written ? std::string() : CannotWrite(error);
}

// A missing or regular file: a temporary file beside it, renamed into place.
std::string WriteReplacing(const Target& t, std::string_view contents) {
  thread_local std::mt19937_64 random(std::random_device{}());
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  const std::string folder = FolderOf(t.path);
  // Short enough that the temporary name stays within a file name's limit.
  const std::string stem = FileNameOf(t.path).substr(0, 200);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    std::string suffix;
    for (int i = 0; i < 8; ++i) suffix += kChars[random() % (sizeof kChars - 1)];
    temp = (folder == "/" ? "" : folder) + "/." + stem + "." + suffix + ".tmp";
    // Mode 0666 less the umask: what a new file gets from a redirection.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) return CannotWrite(errno);
  }
  if (fd < 0) return CannotWrite(EEXIST);
  int error = 0;
  bool written = WriteAll(fd, contents, error);
  if (written && t.exists) {
    // The owner first: changing it may clear the set-id bits that fchmod then restores.
    if (::fchown(fd, t.st.st_uid, t.st.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), t.st.st_gid) != 0) {
      // Only root may give a file away, and only a member may set its group:
      // otherwise the new file keeps this process's owner and group.
    }
    if (::fchmod(fd, t.st.st_mode & 07777) != 0) {
      written = false;
      error = errno;
    }
  }
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && ::rename(temp.c_str(), t.path.c_str()) != 0) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlink(temp.c_str());
    return CannotWrite(error);
  }
  return {};
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return IdentityOfStat(st);
}

std::optional<FileIdentity> IdentityOfDescriptor(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return IdentityOfStat(st);
}

std::string CheckOutputTarget(const std::string& path, const std::vector<FileIdentity>& inputs) {
  Target t;
  return Examine(path, inputs, t);
}

std::string WriteOutputFile(const std::string& path, std::string_view contents,
                            const std::vector<FileIdentity>& inputs) {
  Target t;
  if (std::string problem = Examine(path, inputs, t); !problem.empty()) return problem;
  if (!t.exists) return WriteReplacing(t, contents);
  if (!S_ISREG(t.st.st_mode)) return WriteDirect(t, contents);
  return t.st.st_nlink > 1 ? WriteInPlace(t, contents) : WriteReplacing(t, contents);
}

}  // namespace brevin::platform
