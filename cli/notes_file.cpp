#include "notes_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace brevin::cli {

namespace {
// Far more than the notes a person writes on a 32 KB image.
constexpr off_t kMaxNotesBytes = 16 << 20;
}  // namespace

NotesFile ReadNotesFile(const std::string& path) {
  NotesFile file;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return file;
    file.exists = true;
    file.problem = std::string("cannot be read: ") + std::strerror(errno);
    return file;
  }
  file.exists = true;
  if (S_ISDIR(st.st_mode)) {
    file.problem = "is a folder";
    return file;
  }
  if (!S_ISREG(st.st_mode)) {
    file.problem = "is no regular file";
    return file;
  }
  if (st.st_size > kMaxNotesBytes) {
    file.problem = "is too large for a notes file";
    return file;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    file.problem = std::string("cannot be read: ") + std::strerror(errno);
    return file;
  }
  const std::string text(std::istreambuf_iterator<char>(in), {});
  if (!in.good() && !in.eof()) {
    file.problem = std::string("cannot be read: ") + std::strerror(errno);
    return file;
  }
  std::string problem;
  std::optional<Notes> notes = ParseNotes(text, problem);
  if (!notes) {
    file.problem = "is no notes file (" + problem + ")";
    return file;
  }
  file.notes = std::make_shared<Notes>(std::move(*notes));
  return file;
}

}  // namespace brevin::cli
