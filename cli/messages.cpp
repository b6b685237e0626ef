#include "messages.h"

#include <algorithm>
#include <array>
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

// The stack frame the compiler puts below SBASE in an .eeprom file.
constexpr std::array<std::uint8_t, 8> kInitialStackFrame{255, 255, 249, 255, 255, 255, 249, 255};
constexpr std::size_t kImageSize = 32768;

}  // namespace

ChecksumFigures FiguresOf(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> image(kImageSize, 0);
  std::copy_n(bytes.begin(), std::min(bytes.size(), kImageSize), image.begin());
  const auto sum = [&image] {
    unsigned total = 0;
    for (std::uint8_t b : image) total += b;
    return total & 0xFF;
  };
  unsigned total = sum();
  if (total != 0) {
    // As the check does: a .binary file gets the frame where its bytes are still 0.
    const long sbase = image[10] | (image[11] << 8);
    for (std::size_t i = 0; i < kInitialStackFrame.size(); ++i) {
      const long address = sbase - 8 + static_cast<long>(i);
      if (address >= 0 && address < static_cast<long>(kImageSize) && image[static_cast<std::size_t>(address)] == 0) {
        image[static_cast<std::size_t>(address)] = kInitialStackFrame[i];
      }
    }
    total = sum();
  }
  return {image[5], static_cast<int>((image[5] - total) & 0xFF)};
}

std::string MessageLine(const std::string& image, const std::string& text, MessageButtons buttons,
                        MessageIcon icon, const ChecksumFigures& figures) {
  std::vector<std::string> parts = Paragraphs(text);
  // The box names the image in a paragraph of its own; the line names it in front.
  std::erase(parts, image);
  // A question is answered by the options, so it is not asked.
  if (buttons != MessageButtons::Ok && !parts.empty() && parts.back().ends_with('?')) parts.pop_back();

  std::string line = image + ": ";
  if (buttons == MessageButtons::YesNo && icon == MessageIcon::Critical) {
    // The checksum question: refused unless --ignore-checksum says otherwise.
    line += Join(parts, " ") + " (found $" + HexText(static_cast<std::uint32_t>(figures.found), 2) +
            ", expected $" + HexText(static_cast<std::uint32_t>(figures.expected), 2) +
            "; --ignore-checksum lists it anyway)";
  } else if (parts.size() == 2 && parts[0] == "Cannot find source file") {
    line += "warning: Cannot find source file " + parts[1] + "; listing without source lines";
  } else {
    if (buttons == MessageButtons::Ok) line += "warning: ";
    line += Join(parts, " ");
  }
  return line;
}

std::string WarningLine(const std::string& image, const std::string& warning) {
  std::string_view rest = warning;
  if (rest.starts_with(image) && rest.substr(image.size()).starts_with(": ")) rest.remove_prefix(image.size() + 2);
  return image + ": warning: " + std::string(rest);
}

}  // namespace brevin::cli
