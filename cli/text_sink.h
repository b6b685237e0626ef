// Where brevin-cli's texts go: standard output or standard error, or a string
// (the batch's per-image messages, tests). No C++ stream is involved: the
// first stream a program makes sets up the whole C++ locale, which costs a
// short run more page faults and time than a small image's analysis.
#pragma once

#include <charconv>
#include <concepts>
#include <cstdio>
#include <string>
#include <string_view>

namespace brevin::cli {

class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Write(std::string_view text) = 0;
  // Pushes out what was written; false when any of it could not be written.
  virtual bool Flush() { return true; }
  // The system's error number of the first failed write; 0 when none failed.
  virtual int Error() const { return 0; }
  // True for a terminal a person watches (progress lines go only there).
  virtual bool IsTerminal() const { return false; }
};

inline TextSink& operator<<(TextSink& sink, std::string_view text) {
  sink.Write(text);
  return sink;
}

// Whole numbers in decimal (not characters or truth values, which would read as numbers).
template <std::integral T>
  requires(!std::same_as<T, char> && !std::same_as<T, bool>)
TextSink& operator<<(TextSink& sink, T n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  sink.Write(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  return sink;
}

// An open C file: stdout or stderr.
class FileSink : public TextSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  void Write(std::string_view text) override;
  bool Flush() override;
  int Error() const override { return error_; }
  bool IsTerminal() const override;
  // Flushes and closes the file (the last write error may only show here);
  // false when any write failed. Nothing may be written after it.
  bool Close();

 private:
  std::FILE* file_;
  int error_ = 0;
};

// Collects the text.
class StringSink : public TextSink {
 public:
  void Write(std::string_view text) override { text_ += text; }
  const std::string& Text() const { return text_; }
  void Clear() { text_.clear(); }

 private:
  std::string text_;
};

}  // namespace brevin::cli
