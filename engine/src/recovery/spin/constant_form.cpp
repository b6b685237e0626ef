// The bytes the compiler gives a constant, and the number formatter.
#include "recovery/spin/constant_form.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace brevin::recovery::spin {
namespace {

// Digits grouped from the right with underscores, as Spin allows.
std::string Grouped(const std::string& digits, std::size_t group) {
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % group == 0) out += '_';
    out += digits[i];
  }
  return out;
}

}  // namespace

std::string DecimalText(std::int64_t value) {
  if (value < 0) return "-" + Grouped(std::to_string(-value), 3);
  return value > 9999 ? Grouped(std::to_string(value), 3) : std::to_string(value);
}

std::string HexText(std::int64_t wide) {
  const auto u = static_cast<std::uint32_t>(wide);
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(u >> shift) & 0xF];
  const std::size_t nz = hex.find_first_not_of('0');
  hex = hex.substr(std::min<std::size_t>(nz, 7));
  if (hex.size() % 2) hex = "0" + hex;
  return "$" + (hex.size() > 4 ? Grouped(hex, 4) : hex);
}

namespace {

// A number in scientific notation ("d.ddde-XX" or "de+XX") written out
// without the exponent, at least one digit after the point; the digits after
// it grouped by three when the number is below 0.001 (0.000_1).
std::string Unexponented(const std::string& scientific) {
  const std::size_t e = scientific.find_first_of("eE");
  std::string digits;
  for (std::size_t i = 0; i < e; ++i)
    if (scientific[i] != '.') digits += scientific[i];
  const int exponent = std::atoi(scientific.c_str() + e + 1);
  std::string whole, fraction;
  if (exponent < 0) {
    whole = "0";
    fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    const auto point = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() < point) digits.append(point - digits.size(), '0');
    whole = digits.substr(0, point);
    fraction = digits.substr(point);
  }
  while (fraction.size() > 1 && fraction.back() == '0') fraction.pop_back();
  if (fraction.empty()) fraction = "0";
  if (whole != "0" || fraction.size() <= 3 || fraction.compare(0, 3, "000") != 0) return whole + "." + fraction;
  std::string grouped;
  for (std::size_t i = 0; i < fraction.size(); ++i) grouped += (i > 0 && i % 3 == 0 ? "_" : "") + std::string(1, fraction[i]);
  return whole + "." + grouped;
}

}  // namespace

// The bits of a float between about 1e-14 and 16 million (or minus that) as
// the shortest decimal (at most seven digits, no exponent) that the compiler
// reads back to the same bits (it converts with strtod and rounds to float).
std::optional<std::string> FloatText(std::uint32_t bits) {
  if (bits & 0x80000000u) {
    const std::optional<std::string> magnitude = FloatText(bits & 0x7FFFFFFFu);
    return magnitude ? std::optional<std::string>("-" + *magnitude) : std::nullopt;
  }
  if (bits < 0x29000000u || bits >= 0x4B800000u) return std::nullopt;
  float real = 0;
  std::memcpy(&real, &bits, sizeof real);
  // to_chars and from_chars do not depend on the locale (a window may set one).
  // Below about 0.0005 a person writes few digits: seven there, unless the
  // float has few bits (a power of two), are more likely an integer's bits
  // ($3010_1020) than a float.
  const int most = bits < 0x3A000000u && (bits & 0xFFFu) != 0 ? 6 : 7;
  for (int digits = 1; digits <= most; ++digits) {
    char text[64];
    const auto written =
        std::to_chars(text, text + sizeof text, static_cast<double>(real), std::chars_format::scientific, digits - 1);
    const std::string t = Unexponented(std::string(text, written.ptr));
    std::string plain;
    for (const char c : t)
      if (c != '_') plain += c;
    double wide = 0;
    std::from_chars(plain.data(), plain.data() + plain.size(), wide);
    const auto back = static_cast<float>(wide);
    std::uint32_t backBits = 0;
    std::memcpy(&backBits, &back, sizeof backBits);
    if (backBits == bits) return t;
  }
  return std::nullopt;
}

std::string ConstantText(std::int64_t wide) {
  const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
  if (value >= -9999 && value <= 9999) return std::to_string(value);
  // Bit patterns read best in hex (a few hex digits set, or all ones below a
  // bit), other numbers in decimal.
  const auto u = static_cast<std::uint32_t>(value);
  int hexDigits = 0;
  for (int shift = 0; shift < 32; shift += 4) hexDigits += ((u >> shift) & 0xF) != 0;
  const bool pattern = hexDigits <= 2 || (u & (u + 1)) == 0 || value < -65535;
  // Floats (1.0 is 1_065_353_216, -1.5 is -1_077_936_128) read as floats,
  // unless the bits besides the sign are one bit or all below one, or the
  // number is round in decimal.
  const std::uint32_t magnitude = u & 0x7FFFFFFFu;
  if (value % 1000 != 0 && !std::has_single_bit(magnitude) && !std::has_single_bit(magnitude + 1)) {
    if (std::optional<std::string> real = FloatText(u)) return *real;
  }
  if (pattern && !(value > 0 && value % 1000 == 0)) return HexText(value);
  if (value < 0) return "-" + Grouped(std::to_string(-static_cast<std::int64_t>(value)), 3);
  return Grouped(std::to_string(value), 3);
}

// The bytes the compiler gives a constant (CompileConstant).
std::vector<std::uint8_t> ConstantBytes(std::int64_t wide) {
  const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
  if (value >= -1 && value <= 1) return {static_cast<std::uint8_t>((value + 1) | 0x34)};
  // A mask: one bit set (2 << n), the bits below one (2 << n) - 1, or either inverted.
  const auto u = static_cast<std::uint32_t>(value);
  for (const std::uint32_t invert : {0u, 0x40u}) {
    const std::uint32_t v = invert ? ~u : u;
    if (std::has_single_bit(v) && v >= 2)
      return {0x37, static_cast<std::uint8_t>(invert | static_cast<std::uint32_t>(std::countr_zero(v) - 1))};
    if (std::has_single_bit(v + 1) && v >= (invert ? 1u : 3u))
      return {0x37, static_cast<std::uint8_t>(invert | 0x20 | static_cast<std::uint32_t>(std::countr_zero(v + 1) - 1))};
  }
  if ((u & 0xFFFFFF00u) == 0xFFFFFF00u) return {0x38, static_cast<std::uint8_t>(~u & 0xFF), 0xE7};
  if ((u & 0xFFFF0000u) == 0xFFFF0000u)
    return {0x39, static_cast<std::uint8_t>((~u >> 8) & 0xFF), static_cast<std::uint8_t>(~u & 0xFF), 0xE7};
  std::vector<std::uint8_t> out;
  if (u & 0xFF000000u) {
    out = {0x3B, static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
           static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
  } else if (u & 0x00FF0000u) {
    out = {0x3A, static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
  } else if (u & 0x0000FF00u) {
    out = {0x39, static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
  } else {
    out = {0x38, static_cast<std::uint8_t>(u)};
  }
  return out;
}

}  // namespace brevin::recovery::spin
