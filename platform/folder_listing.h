// Reads a folder one entry at a time, so a caller can walk a huge folder in
// small steps. Symbolic links are reported as links, never as the folder they
// point to, so a walk that enters only real folders cannot loop.
#pragma once

#include <string>

namespace brevin::platform {

class FolderListing {
 public:
  enum class Kind { File, Folder, Link, Other };
  struct Entry {
    std::string name;
    Kind kind = Kind::Other;
  };

  // A folder that cannot be opened (missing, unreadable) lists nothing.
  explicit FolderListing(const std::string& path);
  ~FolderListing();
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;

  bool Opened() const { return dir_ != nullptr; }
  // The next entry other than "." and ".."; false at the end or on a read error.
  bool Next(Entry& entry);

 private:
  std::string path_;
  void* dir_ = nullptr;  // DIR*
};

// The device that holds the folder itself (not a link's target); false when
// it cannot be read.
bool DeviceOf(const std::string& path, unsigned long long& device);

// True when the path names a regular file, following links.
bool IsRegularFile(const std::string& path);

}  // namespace brevin::platform
