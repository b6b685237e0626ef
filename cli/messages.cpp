#include "messages.h"

#include <algorithm>
#include <vector>

#include "brevin/text.h"

namespace brevin::cli {

namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

bool HasControl(std::string_view text) { return std::any_of(text.begin(), text.end(), IsControl); }

// A control character as the shell's $'...' writes it.
void AppendEscaped(std::string& out, char c) {
  static constexpr char kLetters[] = "abtnvfr";  // for the codes 7 to 13
  out += '\\';
  const auto code = static_cast<unsigned char>(c);
  if (code >= 7 && code <= 13) {
    out += kLetters[code - 7];
  } else {
    out += static_cast<char>('0' + (code >> 6));
    out += static_cast<char>('0' + ((code >> 3) & 7));
    out += static_cast<char>('0' + (code & 7));
  }
}

// The paragraphs of a message box text (split at its CR LF line ends), without
// the blank lines between them. A paragraph that still holds a control
// character is a file name: it is quoted.
std::vector<std::string> Paragraphs(std::string_view text) {
  std::vector<std::string> parts;
  while (!text.empty()) {
    const std::size_t end = text.find(kCrLf);
    const std::string_view part = text.substr(0, end);
    if (!part.empty()) parts.push_back(HasControl(part) ? QuotedName(part) : std::string(part));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + kCrLf.size());
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, std::string_view between) {
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += between;
    text += part;
  }
  return text;
}

}  // namespace

std::string QuotedName(std::string_view name) {
  if (!HasControl(name)) return std::string(name);
  // Runs of plain characters go inside '...' (a quote as '\''), runs of control
  // characters inside $'...'; the shell joins the pieces into one word.
  std::string out;
  enum class Run { None, Plain, Control } run = Run::None;
  for (const char c : name) {
    const Run kind = IsControl(c) ? Run::Control : Run::Plain;
    if (kind != run) {
      if (run != Run::None) out += '\'';
      out += kind == Run::Control ? "$'" : "'";
      run = kind;
    }
    if (kind == Run::Control) {
      AppendEscaped(out, c);
    } else if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  out += '\'';
  return out;
}

std::string WithQuotedName(std::string_view text, std::string_view name) {
  if (name.empty() || !HasControl(name)) return std::string(text);
  const std::string quoted = QuotedName(name);
  std::string out;
  for (std::size_t at; (at = text.find(name)) != std::string_view::npos;) {
    out += text.substr(0, at);
    out += quoted;
    text.remove_prefix(at + name.size());
  }
  out += text;
  return out;
}

std::string MessageLine(const std::string& image, const std::string& text, MessageButtons buttons,
                        MessageIcon /*icon*/) {
  const std::string name = QuotedName(image);
  std::vector<std::string> parts = Paragraphs(WithQuotedName(text, image));
  // The box names the image in a paragraph of its own; the line names it in front.
  std::erase(parts, name);
  // A question is answered by the options, so it is not asked.
  if (buttons != MessageButtons::Ok && !parts.empty() && parts.back().ends_with('?')) parts.pop_back();

  std::string line = name + ": ";
  if (parts.size() == 2 && parts[0] == "Cannot find source file") {
    line += "warning: Cannot find source file " + parts[1] + "; listing without source lines";
  } else {
    if (buttons == MessageButtons::Ok) line += "warning: ";
    line += Join(parts, " ");
  }
  return line;
}

std::string NoticeLine(const std::string& image, const Notice& notice) {
  return MessageLine(image, notice.text, MessageButtons::Ok, notice.icon);
}

std::string ChecksumLine(const std::string& image, const ChecksumFigures& figures) {
  return QuotedName(image) + ": The file checksum is not as expected. (found $" +
         HexText(static_cast<std::uint32_t>(figures.found), 2) + ", expected $" +
         HexText(static_cast<std::uint32_t>(figures.expected), 2) + "; --ignore-checksum lists it anyway)";
}

std::string WarningLine(const std::string& image, const std::string& warning) {
  const std::string name = QuotedName(image);
  const std::string text = WithQuotedName(warning, image);
  std::string_view rest = text;
  if (rest.starts_with(name) && rest.substr(name.size()).starts_with(": ")) rest.remove_prefix(name.size() + 2);
  return name + ": warning: " + std::string(rest);
}

std::string UntracedMethodsLine(const std::string& image, const LoadResult& result, const Options& options) {
  const std::string text = UntracedMethodsText(result, options);
  if (text.empty() || options.InhibitWarnings) return {};
  return QuotedName(image) + ": " + text + "; --trace-all-methods decodes them";
}

}  // namespace brevin::cli
