// Reading a person's notes file for the command line: only a regular file is
// read (a FIFO of its name would wait for a writer), at most a few megabytes.
#pragma once

#include <memory>
#include <string>

#include "brevin/notes.h"

namespace brevin::cli {

struct NotesFile {
  bool exists = false;           // something is at the path
  std::shared_ptr<Notes> notes;  // the notes read; null when missing or broken
  std::string problem;           // why a file that exists gave no notes
};

NotesFile ReadNotesFile(const std::string& path);

}  // namespace brevin::cli
