// The clock settings and the image-wide bytes the compiler derives.
#include "recovery/image_settings.h"

#include "recovery/spin/constant_form.h"

namespace brevin::recovery {

std::string Hex2(unsigned value) {
  static const char* hex = "0123456789ABCDEF";
  return std::string("$") + hex[(value >> 4) & 0xF] + hex[value & 0xF];
}

// The clock settings of the top object's CON block, or empty when the header
// holds the compiler's default.
bool ClockLines(const ImageTree& tree, std::vector<std::string>& lines) {
  const unsigned mode = tree.clockMode;
  const std::uint32_t freq = tree.clockFrequency;
  if (mode == 0 && freq == 12000000) return true;
  if (mode == 1 && freq == 20000) {
    lines.push_back("  _clkmode = rcslow");
    return true;
  }
  static const char* const oscillators[4] = {"xinput", "xtal1", "xtal2", "xtal3"};
  static const char* const plls[5] = {"pll1x", "pll2x", "pll4x", "pll8x", "pll16x"};
  const unsigned osc = (mode >> 3) & 3;
  unsigned expected = (osc << 3) | 0x22;
  std::string text = oscillators[osc];
  int shift = 0;
  if (mode & 0x40) {
    const int pll = static_cast<int>(mode & 7) - 3;
    if (pll < 0 || pll > 4) return false;
    expected += static_cast<unsigned>(pll) + 0x41;
    text += std::string(" + ") + plls[pll];
    shift = pll;
  }
  if (expected != mode) return false;
  lines.push_back("  _clkmode = " + text);
  if ((freq >> shift) << shift == freq) {
    lines.push_back("  _xinfreq = " + spin::DecimalText(freq >> shift));
  } else {
    lines.push_back("  _clkfreq = " + spin::DecimalText(freq));
  }
  return true;
}

// The header and, for an .eeprom, the bytes after the program as the compiler
// writes them: empty when the image holds them, else what differs.
std::string ImageDifference(std::span<const std::uint8_t> image, const ImageTree& tree) {
  const ObjectImage& top = tree.objects.front();
  if (tree.pcurr != tree.pbase + top.methods.front().start) return "the header's first method is not the table's";
  if ((tree.dcurr - tree.dbase - 4 - top.methods.front().localSize) % 4 != 0 ||
      tree.dcurr - tree.dbase - 4 - top.methods.front().localSize < 0)
    return "the header's initial stack frame is no method's";
  unsigned sum = 0;
  for (std::int32_t i = 0; i < tree.vbase; ++i) sum += image[static_cast<std::size_t>(i)];
  if (((sum + 2028) & 0xFF) != 0) return "the checksum is not the compiler's";
  if (tree.eeprom) {
    if (image.size() != 32768) return "the .eeprom is not 32 KB";
    for (std::size_t i = static_cast<std::size_t>(tree.vbase); i < image.size(); ++i) {
      const auto at = static_cast<std::int32_t>(i);
      std::uint8_t expected = 0;
      if (at >= tree.dbase - 8 && at < tree.dbase) expected = (at - tree.dbase) % 4 == -2 ? 0xF9 : 0xFF;
      if (image[i] != expected) return "the bytes after the program are not the compiler's";
    }
  }
  return {};
}

}  // namespace brevin::recovery
