// Constants as the compiler writes them and as a source spells them: the
// bytes the compiler gives a value, and the one number formatter of the
// recovery (decimal, $hex, floats).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brevin::recovery::spin {

// The bytes the compiler gives a constant of this value.
std::vector<std::uint8_t> ConstantBytes(std::int64_t value);

// The text of a number as a constant reads best (decimal, $hex or a float).
std::string ConstantText(std::int64_t value);
// The same as $hex, in whole bytes.
std::string HexText(std::int64_t value);
// The same in decimal, digits grouped by three when it is long.
std::string DecimalText(std::int64_t value);
// The bits of a float (negative and tiny ones too) as the shortest decimal
// the compiler reads back to the same bits, when there is one without an
// exponent.
std::optional<std::string> FloatText(std::uint32_t bits);

}  // namespace brevin::recovery::spin
