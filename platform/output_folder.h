// Writing a set of files into one folder, all or none: the recovered Spin
// project of brevin-cli --spin-source and of the window's export.
//
// - Every name is looked up in the folder without following links: a
//   symbolic link of an output's name is refused and left as it is (never
//   followed, so nothing outside the folder is created or replaced), and so
//   are a folder, a FIFO or a device of that name (nothing is opened, so
//   nothing blocks).
// - A regular file of an output's name is replaced only when the caller says
//   so (--force, or the user's Yes); the files the run reads (the image, its
//   Spin sources) are never replaced.
// - Every file is first written under a temporary name in the folder; only
//   when all were written are they renamed into place. A failure (a full
//   disk, a file too large) leaves no file of the set and no temporary file,
//   and names the file that failed. A replaced file keeps its mode, and its
//   owner and group where the process may set them.
#pragma once

#include <string>
#include <vector>

#include "output_file.h"

namespace brevin::platform {

// A file the set must never replace, and what to say when it would.
struct KeptFile {
  FileIdentity identity;
  std::string refusal;  // "the output would overwrite the image"
};

struct FolderFile {
  std::string name;  // a plain file name: no "/", not "." or ".."
  std::string contents;
};

// Why the set cannot be written: the name of the file it is about (empty when
// it is the folder) and the reason, to follow "folder/name: " in a message.
struct FolderProblem {
  std::string name;
  std::string problem;  // empty: none
  bool Failed() const { return !problem.empty(); }
};

inline constexpr std::string_view kIsSymbolicLink = "is a symbolic link; it is not followed";
inline constexpr std::string_view kNotRegularFile = "is not a regular file";
inline constexpr std::string_view kAlreadyExists = "already exists";

// What writing files of these names into folder would meet, checked without
// writing anything: the first refusal in name order, else the names of the
// regular files that would be replaced (in name order).
struct FolderPlan {
  FolderProblem refusal;
  std::vector<std::string> existing;
};
FolderPlan PlanFolderFiles(const std::string& folder, const std::vector<std::string>& names,
                           const std::vector<KeptFile>& kept = {});

// Writes every file into folder, or none. An existing regular file of a
// file's name is replaced only with replaceExisting (else kAlreadyExists).
FolderProblem WriteFolderFiles(const std::string& folder, const std::vector<FolderFile>& files, bool replaceExisting,
                               const std::vector<KeptFile>& kept = {});

// Whether a file can be made in folder: creates a probe file of a name not
// yet taken (never through a link) and removes it again. Permissions alone do
// not tell: a read-only mount, root's rights.
bool CanCreateFileIn(const std::string& folder);

}  // namespace brevin::platform
