#include "text_sink.h"

#include <unistd.h>

#include <cerrno>

namespace brevin::cli {

void FileSink::Write(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() && error_ == 0) error_ = errno != 0 ? errno : EIO;
}

bool FileSink::Flush() {
  if (std::fflush(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
  if (std::ferror(file_) != 0 && error_ == 0) error_ = EIO;
  return error_ == 0;
}

bool FileSink::Close() {
  Flush();
  if (std::fclose(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
  return error_ == 0;
}

bool FileSink::IsTerminal() const { return isatty(fileno(file_)) == 1; }

}  // namespace brevin::cli
