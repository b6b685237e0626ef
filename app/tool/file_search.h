// The disk walk behind the file search dialog, done in small steps so the
// window stays responsive and Stop takes effect at once, even on a disk of a
// million files.
//
// Each root is walked depth-first, pre-order: a folder is listed, and when it
// holds a file matching the pattern the caller is asked about it before its
// sub-folders are entered (by name, ignoring case). Names beginning with "."
// are skipped; symbolic links are never followed into folders; a walk stays on
// the file system of its root (other real file systems are roots of their
// own) and never enters another root, so nothing is searched twice and no
// loop is possible. Unreadable folders are passed over silently.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brevin {

// True when the file name matches the wildcard pattern ("*" any run, "?" one
// character), ignoring letter case as the Propeller Tool's home system does.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// The first file of the folder, by name ignoring case, that matches the
// pattern; empty when there is none.
std::string FirstMatchingFile(const std::string& folder, const std::string& pattern);

// "folder/name", without doubling the "/" of the root folder.
std::string JoinPath(const std::string& folder, const std::string& name);

class FolderSearch {
 public:
  enum class Decision { Continue, Found, Abort };

  FolderSearch(std::string pattern, std::vector<std::string> roots);
  ~FolderSearch();
  FolderSearch(const FolderSearch&) = delete;
  FolderSearch& operator=(const FolderSearch&) = delete;

  // Told each folder as the walk enters it.
  std::function<void(const std::string& folder)> onFolder;
  // Asked for each folder that holds a matching file.
  std::function<Decision(const std::string& folder)> onMatch;

  // Works through at most `entries` folder entries. False once the search
  // has ended (found, aborted or every root walked).
  bool Step(int entries);
  void Abort() { aborted_ = true; }

  bool Ended() const { return ended_; }
  bool Found() const { return found_; }
  bool Aborted() const { return aborted_; }
  const std::string& FoundFolder() const { return foundFolder_; }
  std::size_t FoldersEntered() const { return foldersEntered_; }

 private:
  struct Frame;
  void Enter(const std::string& folder);

  std::string pattern_;
  std::vector<std::string> roots_;
  std::size_t nextRoot_ = 0;
  unsigned long long rootDevice_ = 0;
  std::vector<std::unique_ptr<Frame>> stack_;
  bool ended_ = false;
  bool found_ = false;
  bool aborted_ = false;
  std::string foundFolder_;
  std::size_t foldersEntered_ = 0;
};

}  // namespace brevin
