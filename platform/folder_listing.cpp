#include "folder_listing.h"

#include <dirent.h>
#include <sys/stat.h>

namespace brevin::platform {

FolderListing::FolderListing(const std::string& path) : path_(path), dir_(opendir(path.c_str())) {}

FolderListing::~FolderListing() {
  if (dir_ != nullptr) closedir(static_cast<DIR*>(dir_));
}

bool FolderListing::Next(Entry& entry) {
  if (dir_ == nullptr) return false;
  while (const dirent* d = readdir(static_cast<DIR*>(dir_))) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    entry.name = name;
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN) {
      // Some file systems leave the type out of the listing: ask for it.
      struct stat st {};
      const std::string full = (path_ == "/" ? std::string() : path_) + "/" + name;
      if (lstat(full.c_str(), &st) != 0) {
        type = DT_UNKNOWN;
      } else if (S_ISDIR(st.st_mode)) {
        type = DT_DIR;
      } else if (S_ISLNK(st.st_mode)) {
        type = DT_LNK;
      } else if (S_ISREG(st.st_mode)) {
        type = DT_REG;
      }
    }
    switch (type) {
      case DT_DIR: entry.kind = Kind::Folder; break;
      case DT_LNK: entry.kind = Kind::Link; break;
      case DT_REG: entry.kind = Kind::File; break;
      default: entry.kind = Kind::Other; break;
    }
    return true;
  }
  return false;
}

bool DeviceOf(const std::string& path, unsigned long long& device) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  device = static_cast<unsigned long long>(st.st_dev);
  return true;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace brevin::platform
