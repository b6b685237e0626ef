#include "text_sink.h"

#include <unistd.h>

namespace brevin::cli {

void FileSink::Write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), file_); }

bool FileSink::Flush() { return std::fflush(file_) == 0 && std::ferror(file_) == 0; }

bool FileSink::IsTerminal() const { return isatty(fileno(file_)) == 1; }

}  // namespace brevin::cli
