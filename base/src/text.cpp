#include "brevin/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace brevin {

std::string HexText(std::uint32_t value, int n) {
  std::string out;
  AssignHex(out, value, n > 0 ? n : 0);
  return out;
}

void AppendDecimal(std::string& out, std::int64_t value) {
  // Most numbers of a listing have one or two digits: those need no buffer.
  if (value >= 0 && value < 100) {
    if (value >= 10) out.push_back(static_cast<char>('0' + value / 10));
    out.push_back(static_cast<char>('0' + value % 10));
    return;
  }
  char digits[24];
  char* const end = digits + sizeof digits;
  char* at = end;
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  do {
    *--at = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--at = '-';
  out.append(at, end);
}

std::string DecText(std::int64_t value) {
  std::string text;
  AppendDecimal(text, value);
  return text;
}

std::string SignedText(std::int64_t value) {
  std::string text;
  if (value >= 0) text.push_back('+');
  AppendDecimal(text, value);
  return text;
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
  std::string text;
  if (registerForm) {
    text.push_back('$');
    AppendHex(text, value, value < 256 ? 2 : 3);
  } else if (value <= 15) {
    text.push_back(static_cast<char>(value < 10 ? '0' + value : '1'));
    if (value >= 10) text.push_back(static_cast<char>('0' + value - 10));
  } else if (IsSingleBitRun(value)) {
    int digits = 0;
    for (std::uint32_t v = value; v != 0; v >>= 4) ++digits;
    if (digits % 2 != 0) ++digits;
    text.push_back('$');
    AppendHex(text, value, digits);
  } else {
    AppendDecimal(text, static_cast<std::int32_t>(value));
  }
  return text;
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

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t min = 0;  // the smallest code point the sequence may hold (no overlong forms)
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000;
  } else {
    return 0;
  }
  if (length > text.size() - at) return 0;
  std::uint32_t cp = lead & (0x7Fu >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (next & 0x3Fu);
  }
  return cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF) ? length : 0;
}

std::size_t CodePointCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++count) i += std::max<std::size_t>(Utf8SequenceLength(text, i), 1);
  return count;
}

namespace {
void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | cp >> 18));
    out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](std::size_t i) -> std::uint32_t {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? static_cast<std::uint32_t>(a << 8 | b) : static_cast<std::uint32_t>(b << 8 | a);
  };
  // A last odd byte holds no character; a surrogate without its partner becomes "?".
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const std::uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      out.push_back('?');
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}
}  // namespace

std::string SpinSourceText(std::string_view bytes) {
  auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (startsWith("\xFF\xFE")) return Utf16ToUtf8(bytes.substr(2), false);
  if (startsWith("\xFE\xFF")) return Utf16ToUtf8(bytes.substr(2), true);
  if (startsWith("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  // Valid UTF-8 (ASCII included) stays as it is; any other text is 8-bit Latin-1,
  // whose bytes are the code points.
  bool valid = true;
  for (std::size_t i = 0; valid && i < bytes.size();) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {  // ASCII, most of any source
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(bytes, i);
    valid = length != 0;
    i += length;
  }
  if (valid) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::vector<std::string_view> TextLines(std::string_view text) {
  // One pass over the characters (a search for either of two characters
  // looks each one up in the pair).
  std::vector<std::string_view> lines;
  const char* const end = text.data() + text.size();
  const char* start = text.data();
  for (const char* at = start; at != end;) {
    const char c = *at;
    if (c != '\r' && c != '\n') {
      ++at;
      continue;
    }
    lines.emplace_back(start, static_cast<std::size_t>(at - start));
    ++at;
    if (c == '\r' && at != end && *at == '\n') ++at;
    start = at;
  }
  if (start != end) lines.emplace_back(start, static_cast<std::size_t>(end - start));
  return lines;
}

std::string ZeroPad(std::int64_t n, int width) {
  std::string digits = std::to_string(n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n));
  if (static_cast<int>(digits.size()) > width) return digits.substr(digits.size() - static_cast<std::size_t>(width));
  return std::string(static_cast<std::size_t>(width) - digits.size(), '0') + digits;
}

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace brevin
