// A notes file of any bytes: reading it never fails badly, and what is read
// is written so that it reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "brevin/notes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string problem;
  const std::optional<brevin::Notes> notes = brevin::ParseNotes(text, problem);
  if (!notes) {
    if (problem.empty() || problem.find('\n') != std::string::npos) std::abort();  // one line, always
    return 0;
  }
  const std::string written = brevin::NotesText(*notes);
  const std::optional<brevin::Notes> again = brevin::ParseNotes(written, problem);
  if (!again || brevin::NotesText(*again) != written) std::abort();
  return 0;
}
