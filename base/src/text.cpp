#include "brevin/text.h"

#include <charconv>

namespace brevin {

std::string HexText(std::uint32_t value, int n) {
  std::string out;
  AssignHex(out, value, n > 0 ? n : 0);
  return out;
}

void AppendDecimal(std::string& out, std::int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

std::string DecText(std::int64_t value) { return std::to_string(value); }

std::string SignedText(std::int64_t value) {
  return value >= 0 ? "+" + DecText(value) : DecText(value);
}

std::string PadTo(std::string_view text, std::size_t column) {
  std::string out(text);
  PadInPlace(out, column);
  return out;
}

void PadInPlace(std::string& text, std::size_t column) {
  if (text.size() >= column) {
    text.push_back(' ');
  } else {
    text.resize(column, ' ');
  }
}

namespace {
// True when the set bits of v form one unbroken run (v not 0).
bool IsSingleBitRun(std::uint32_t v) {
  if (v == 0) return false;
  while ((v & 1) == 0) v >>= 1;
  return (v & (v + 1)) == 0;
}
}  // namespace

std::string ConstText(std::uint32_t value, bool registerForm) {
  if (registerForm) return "$" + HexText(value, value < 256 ? 2 : 3);
  if (value <= 15) return DecText(value);
  if (IsSingleBitRun(value)) {
    int digits = 0;
    for (std::uint32_t v = value; v != 0; v >>= 4) ++digits;
    if (digits % 2 != 0) ++digits;
    return "$" + HexText(value, digits);
  }
  return DecText(static_cast<std::int32_t>(value));
}

std::string Plural(std::int64_t n, std::string_view word) {
  if (n == 0) return "No " + std::string(word) + "s";
  if (n == 1) return "1 " + std::string(word);
  return DecText(n) + " " + std::string(word) + "s";
}

std::string Percent(std::int64_t a, std::int64_t b) {
  if (b == 0) return "0";
  return DecText(static_cast<std::int64_t>(static_cast<double>(a) / static_cast<double>(b) * 100.0 + 0.5));
}

std::size_t CodePointCount(std::string_view text) {
  std::size_t count = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    std::uint32_t min = 0;  // the smallest code point the sequence may hold (no overlong forms)
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, min = 0x10000;
    }
    std::uint32_t cp = length == 1 ? lead : lead & (0x7Fu >> length);
    bool valid = length <= text.size() - i;
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      cp = cp << 6 | (next & 0x3Fu);
    }
    valid = valid && cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    i += valid ? length : 1;
    ++count;
  }
  return count;
}

std::string ZeroPad(std::int64_t n, int width) {
  std::string digits = std::to_string(n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n));
  if (static_cast<int>(digits.size()) > width) return digits.substr(digits.size() - static_cast<std::size_t>(width));
  return std::string(static_cast<std::size_t>(width) - digits.size(), '0') + digits;
}

}  // namespace brevin
