#include "messages.h"

#include <algorithm>
#include <vector>

#include "brevin/text.h"

namespace brevin::cli {

namespace {

// The paragraphs of a message box text, without the blank lines between them.
std::vector<std::string> Paragraphs(std::string_view text) {
  std::vector<std::string> parts;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view part = text.substr(0, end);
    if (!part.empty()) parts.emplace_back(part);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
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

std::string MessageLine(const std::string& image, const std::string& text, MessageButtons buttons,
                        MessageIcon /*icon*/) {
  std::vector<std::string> parts = Paragraphs(text);
  // The box names the image in a paragraph of its own; the line names it in front.
  std::erase(parts, image);
  // A question is answered by the options, so it is not asked.
  if (buttons != MessageButtons::Ok && !parts.empty() && parts.back().ends_with('?')) parts.pop_back();

  std::string line = image + ": ";
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
  return image + ": The file checksum is not as expected. (found $" +
         HexText(static_cast<std::uint32_t>(figures.found), 2) + ", expected $" +
         HexText(static_cast<std::uint32_t>(figures.expected), 2) + "; --ignore-checksum lists it anyway)";
}

std::string WarningLine(const std::string& image, const std::string& warning) {
  std::string_view rest = warning;
  if (rest.starts_with(image) && rest.substr(image.size()).starts_with(": ")) rest.remove_prefix(image.size() + 2);
  return image + ": warning: " + std::string(rest);
}

std::string UntracedMethodsLine(const std::string& image, const LoadResult& result, const Options& options) {
  const std::string text = UntracedMethodsText(result, options);
  if (text.empty() || options.InhibitWarnings) return {};
  return image + ": " + text + "; --trace-all-methods decodes them";
}

}  // namespace brevin::cli
