#include "output_folder.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <set>

namespace brevin::platform {

namespace {

std::string CannotWrite(int error) { return std::string("cannot be written: ") + std::strerror(error); }

// The folder, opened as a handle for the *at calls: every name is then looked
// up in this folder, whatever happens to its path meanwhile.
class Folder {
 public:
  explicit Folder(const std::string& path) : fd_(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {
    error_ = fd_ < 0 ? errno : 0;
  }
  ~Folder() {
    if (fd_ >= 0) ::close(fd_);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  int fd() const { return fd_; }
  // The reason the folder cannot take the files; empty when it can.
  std::string Problem(const std::string& path) const {
    if (fd_ < 0) {
      if (error_ == ENOENT) return "no such folder";
      if (error_ == ENOTDIR) return "is not a folder";
      return CannotWrite(error_);
    }
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return CannotWrite(errno);
    return {};
  }

 private:
  int fd_;
  int error_ = 0;
};

bool PlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// What stands at name in the folder, looked at without following a link.
struct Entry {
  bool exists = false;
  struct stat st {};
};

std::string Examine(int folder, const std::string& name, const std::vector<KeptFile>& kept, Entry& entry) {
  entry = {};
  if (::fstatat(folder, name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? std::string() : CannotWrite(errno);
  }
  entry.exists = true;
  if (S_ISLNK(entry.st.st_mode)) return std::string(kIsSymbolicLink);
  if (S_ISDIR(entry.st.st_mode)) return "is a folder";
  if (!S_ISREG(entry.st.st_mode)) return std::string(kNotRegularFile);
  const FileIdentity identity{static_cast<std::uint64_t>(entry.st.st_dev), static_cast<std::uint64_t>(entry.st.st_ino)};
  for (const KeptFile& k : kept) {
    if (k.identity == identity) return k.refusal;
  }
  if (::faccessat(folder, name.c_str(), W_OK, AT_EACCESS) != 0) return CannotWrite(errno);
  // Root may write anything; a file nobody may write is still not to be replaced.
  if ((entry.st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return "cannot be written: the file is read-only";
  return {};
}

// The names must stay inside the folder and name one file each.
FolderProblem CheckNames(const std::vector<std::string>& names) {
  std::set<std::string> seen;
  for (const std::string& name : names) {
    if (!PlainFileName(name)) return {name, "is not a plain file name"};
    if (!seen.insert(name).second) return {name, "is named twice"};
  }
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

// A new name beside name, not taken yet: ".name.XXXXXXXX.suffix".
std::string HiddenName(const std::string& name, const char* suffix) {
  thread_local std::mt19937_64 random(std::random_device{}());
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string hidden = "." + name.substr(0, 200) + ".";
  for (int i = 0; i < 8; ++i) hidden += kChars[random() % (sizeof kChars - 1)];
  return hidden + suffix;
}

// Writes contents to a new temporary file in the folder; its name in temp.
// A file it replaces lends it its mode, owner and group. Returns 0 or the error.
int Stage(int folder, const std::string& name, const std::string& contents, const Entry& old, std::string& temp) {
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = HiddenName(name, "tmp");
    // Mode 0666 less the umask: what a new file gets from a redirection.
    fd = ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;
  int error = 0;
  bool written = WriteAll(fd, contents, error);
  if (written && old.exists) {
    // The owner first: changing it may clear the set-id bits that fchmod then restores.
    if (::fchown(fd, old.st.st_uid, old.st.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old.st.st_gid) != 0) {
      // Only root may give a file away: the new file keeps this process's owner.
    }
    if (::fchmod(fd, old.st.st_mode & 07777) != 0) {
      written = false;
      error = errno;
    }
  }
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlinkat(folder, temp.c_str(), 0);
    temp.clear();
    return error;
  }
  return 0;
}

// Moves temp to name without replacing anything that appeared there since the
// names were checked; falls back to a plain rename where the file system
// cannot promise that.
int PlaceNew(int folder, const std::string& temp, const std::string& name) {
  if (::renameat2(folder, temp.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  return ::renameat(folder, temp.c_str(), folder, name.c_str()) == 0 ? 0 : errno;
}

}  // namespace

FolderPlan PlanFolderFiles(const std::string& folder, const std::vector<std::string>& names,
                           const std::vector<KeptFile>& kept) {
  FolderPlan plan;
  const Folder place(folder);
  if (std::string problem = place.Problem(folder); !problem.empty()) {
    plan.refusal = {"", problem};
    return plan;
  }
  if (plan.refusal = CheckNames(names); plan.refusal.Failed()) return plan;
  for (const std::string& name : names) {
    Entry entry;
    if (std::string problem = Examine(place.fd(), name, kept, entry); !problem.empty()) {
      plan.refusal = {name, problem};
      plan.existing.clear();
      return plan;
    }
    if (entry.exists) plan.existing.push_back(name);
  }
  return plan;
}

FolderProblem WriteFolderFiles(const std::string& folder, const std::vector<FolderFile>& files, bool replaceExisting,
                               const std::vector<KeptFile>& kept) {
  const Folder place(folder);
  if (std::string problem = place.Problem(folder); !problem.empty()) return {"", problem};
  std::vector<std::string> names;
  for (const FolderFile& f : files) names.push_back(f.name);
  if (FolderProblem bad = CheckNames(names); bad.Failed()) return bad;
  const int dir = place.fd();

  // Each file as it stands, and its temporary copy.
  struct Slot {
    Entry old;
    std::string temp;
    std::string backup;  // a second name of the replaced file, kept until all are in place
    bool placed = false;
  };
  std::vector<Slot> slots(files.size());
  const auto refusalOf = [&](std::size_t i) -> std::string {
    if (std::string problem = Examine(dir, files[i].name, kept, slots[i].old); !problem.empty()) return problem;
    if (slots[i].old.exists && !replaceExisting) return std::string(kAlreadyExists);
    return {};
  };
  // Undoes everything done so far: the placed files go, the replaced ones come back.
  const auto undo = [&] {
    for (Slot& s : slots) {
      if (!s.temp.empty()) ::unlinkat(dir, s.temp.c_str(), 0);
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
      Slot& s = slots[i];
      if (s.placed && !s.backup.empty()) {
        ::renameat(dir, s.backup.c_str(), dir, files[i].name.c_str());
      } else if (s.placed && !s.old.exists) {
        ::unlinkat(dir, files[i].name.c_str(), 0);
      } else if (!s.backup.empty()) {
        ::unlinkat(dir, s.backup.c_str(), 0);
      }
    }
  };

  for (std::size_t i = 0; i < files.size(); ++i) {
    if (std::string problem = refusalOf(i); !problem.empty()) return {files[i].name, problem};
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (const int error = Stage(dir, files[i].name, files[i].contents, slots[i].old, slots[i].temp); error != 0) {
      undo();
      return {files[i].name, CannotWrite(error)};
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    Slot& s = slots[i];
    const Entry checked = s.old;
    // Looked at again: a link or file may have come since the check.
    if (std::string problem = refusalOf(i); !problem.empty() || (s.old.exists && !checked.exists)) {
      undo();
      return {files[i].name, problem.empty() ? std::string(kAlreadyExists) : problem};
    }
    int error = 0;
    if (s.old.exists) {
      // A second name keeps the old file until every new one is in place (none
      // where the file system has no hard links: the rename alone then).
      for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string backup = HiddenName(files[i].name, "old");
        if (::linkat(dir, files[i].name.c_str(), dir, backup.c_str(), 0) == 0) {
          s.backup = backup;
          break;
        }
        if (errno != EEXIST) break;
      }
      if (::renameat(dir, s.temp.c_str(), dir, files[i].name.c_str()) != 0) error = errno;
    } else {
      error = PlaceNew(dir, s.temp, files[i].name);
    }
    if (error != 0) {
      undo();
      return {files[i].name, CannotWrite(error)};
    }
    s.temp.clear();
    s.placed = true;
  }
  for (Slot& s : slots) {
    if (!s.backup.empty()) ::unlinkat(dir, s.backup.c_str(), 0);
  }
  return {};
}

bool CanCreateFileIn(const std::string& folder) {
  const Folder place(folder);
  if (place.fd() < 0) return false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string probe = ".brevin-probe-" + std::to_string(attempt) + ".tmp";
    // O_EXCL with O_NOFOLLOW: any entry of the name, a dangling link too, is
    // left alone and the next name tried; only the file made here is removed.
    const int fd = ::openat(place.fd(), probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      ::unlinkat(place.fd(), probe.c_str(), 0);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace brevin::platform
