#include "tool/file_search.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "folder_listing.h"

namespace brevin {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

bool IsMatchingFile(const std::string& folder, const platform::FolderListing::Entry& entry,
                    const std::string& pattern) {
  using Kind = platform::FolderListing::Kind;
  if (entry.kind != Kind::File && entry.kind != Kind::Link && entry.kind != Kind::Other) return false;
  if (!WildcardMatch(pattern, entry.name)) return false;
  return entry.kind == Kind::File || platform::IsRegularFile(JoinPath(folder, entry.name));
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  // Iterative matcher with one back-track point for the last "*".
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string::npos;
  std::size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string FirstMatchingFile(const std::string& folder, const std::string& pattern) {
  platform::FolderListing listing(folder);
  platform::FolderListing::Entry entry;
  std::string first;
  while (listing.Next(entry)) {
    if (IsMatchingFile(folder, entry, pattern) && (first.empty() || LessNoCase(entry.name, first))) first = entry.name;
  }
  return first;
}

// One folder on the walk: first its listing is read (looking for a match and
// collecting sub-folders), then its sub-folders are entered one by one.
struct FolderSearch::Frame {
  std::string path;
  std::unique_ptr<platform::FolderListing> listing;
  bool listed = false;
  bool match = false;
  std::vector<std::string> subfolders;
  std::size_t next = 0;
};

FolderSearch::FolderSearch(std::string pattern, std::vector<std::string> roots)
    : pattern_(std::move(pattern)) {
  // Roots are compared with the paths the walk builds, so they are made
  // canonical first; roots that are gone are dropped.
  for (const std::string& root : roots) {
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::canonical(root, ec);
    if (ec) continue;
    const std::string path = canonical.string();
    if (std::find(roots_.begin(), roots_.end(), path) == roots_.end()) roots_.push_back(path);
  }
}

FolderSearch::~FolderSearch() = default;

void FolderSearch::Enter(const std::string& folder) {
  auto frame = std::make_unique<Frame>();
  frame->path = folder;
  frame->listing = std::make_unique<platform::FolderListing>(folder);
  stack_.push_back(std::move(frame));
  ++foldersEntered_;
  if (onFolder) onFolder(folder);
}

bool FolderSearch::Step(int entries) {
  using Kind = platform::FolderListing::Kind;
  while (!ended_ && entries > 0) {
    if (aborted_) {
      ended_ = true;
      break;
    }
    if (stack_.empty()) {
      if (nextRoot_ >= roots_.size()) {
        ended_ = true;
        break;
      }
      const std::string& root = roots_[nextRoot_++];
      if (platform::DeviceOf(root, rootDevice_)) Enter(root);
      continue;
    }
    Frame& frame = *stack_.back();
    if (!frame.listed) {
      --entries;
      platform::FolderListing::Entry entry;
      if (frame.listing->Next(entry)) {
        if (entry.name.front() == '.') continue;
        if (entry.kind == Kind::Folder) {
          frame.subfolders.push_back(entry.name);
        } else if (!frame.match && IsMatchingFile(frame.path, entry, pattern_)) {
          frame.match = true;
        }
        continue;
      }
      frame.listed = true;
      frame.listing.reset();
      std::sort(frame.subfolders.begin(), frame.subfolders.end(), LessNoCase);
      if (frame.match && onMatch) {
        const std::string folder = frame.path;  // the question may run events; keep our own copy
        const Decision decision = onMatch(folder);
        if (decision == Decision::Found) {
          found_ = true;
          foundFolder_ = folder;
          ended_ = true;
        } else if (decision == Decision::Abort) {
          aborted_ = true;
        }
      }
      continue;
    }
    if (frame.next < frame.subfolders.size()) {
      --entries;
      const std::string child = JoinPath(frame.path, frame.subfolders[frame.next++]);
      // Another root is searched on its own; another file system is a root of its own.
      if (std::find(roots_.begin(), roots_.end(), child) != roots_.end()) continue;
      unsigned long long device = 0;
      if (!platform::DeviceOf(child, device) || device != rootDevice_) continue;
      Enter(child);
      continue;
    }
    stack_.pop_back();
  }
  if (ended_) stack_.clear();
  return !ended_;
}

}  // namespace brevin
