// Small text operations shared by every lister and report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brevin {

// Line end of every text the system writes.
inline constexpr std::string_view kCrLf = "\r\n";

// The last n upper-case hex digits of the 32-bit value, zero-padded to n.
std::string HexText(std::uint32_t value, int n);
// HexText of an address or register with 4 or 3 digits.
inline std::string Hex4(std::int64_t value) { return HexText(static_cast<std::uint32_t>(value), 4); }
inline std::string Hex3(std::int64_t value) { return HexText(static_cast<std::uint32_t>(value), 3); }
// Decimal text; negatives carry "-".
std::string DecText(std::int64_t value);
// out becomes HexText(value, n), written in place.
inline void AssignHex(std::string& out, std::uint32_t value, int n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out.resize(static_cast<std::size_t>(n));
  for (int i = n - 1; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
}
// HexText(value, n) appended to out.
inline void AppendHex(std::string& out, std::uint32_t value, int n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char digits[16];
  const int count = n < 0 ? 0 : n > 16 ? 16 : n;
  for (int i = count - 1; i >= 0; --i) {
    digits[i] = kDigits[value & 0xF];
    value >>= 4;
  }
  out.append(digits, static_cast<std::size_t>(count));
}
// out becomes text: an append to the emptied string, which costs less than the
// general replace an assignment from a view or a C string goes through.
inline void SetText(std::string& out, std::string_view text) {
  out.clear();
  out.append(text.data(), text.size());
}
// DecText appended to out, for texts built in place.
void AppendDecimal(std::string& out, std::int64_t value);
// "+" and DecText for values 0 or more, DecText for negatives.
std::string SignedText(std::int64_t value);
// Pads with blanks to the given length; a text already that long gets one blank.
std::string PadTo(std::string_view text, std::size_t column);
// PadTo in place.
void PadInPlace(std::string& text, std::size_t column);
// Constant text: registerForm gives "$" and 2 or 3 hex digits; otherwise 0..15 in
// decimal, a single run of set bits in even-length hex, anything else in decimal.
std::string ConstText(std::uint32_t value, bool registerForm = false);
// "No words", "1 word", "n words".
std::string Plural(std::int64_t n, std::string_view word);
// Integer part of a / b x 100 + 0.5, as decimal text.
std::string Percent(std::int64_t a, std::int64_t b);
// Decimal digits of n padded on the left with "0" to width; only the last width digits
// remain when there are more.
std::string ZeroPad(std::int64_t n, int width);

// Number of characters (code points) of UTF-8 text, as a window shows them: each
// well-formed sequence counts one, and so does each byte that starts none.
std::size_t CodePointCount(std::string_view text);
// The length of the well-formed UTF-8 sequence at text[at] (1 for ASCII); 0 when
// the byte there starts none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// A Spin source file's bytes as UTF-8 text: UTF-16 LE or BE with their byte-order
// marks (as the Propeller Tool saves a file holding characters outside ASCII),
// UTF-8 with or without its mark, or else 8-bit Latin-1.
std::string SpinSourceText(std::string_view bytes);

// The lines of a text, each without its line end: CR LF, LF and a lone CR
// (as older editors save) all end a line; no line follows a final line end.
std::vector<std::string_view> TextLines(std::string_view text);

// Every character below 32 or above 126 replaced by one blank: a well-formed
// UTF-8 sequence is one character, and so is each byte that starts none.
std::string PrintableText(const std::string& text);

// The text with its ASCII letters in capitals (Spin compares names so).
std::string UpperText(std::string_view text);
// The same appended to out.
void AppendPrintable(std::string& out, std::string_view text);

}  // namespace brevin
