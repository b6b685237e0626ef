// Plain-text reference pages over the Spin tables, shown in place of a listing.
#pragma once

#include <array>
#include <string>

#include "isa/spin_tables.h"

namespace brevin {

// One row per opcode: "**" marks opcodes never decoded, then the byte, the mnemonic
// and the operand format exactly as stored. Lines end in CR LF; the last row has none.
std::string SpinOpcodesReport(const SpinTables& tables, const std::array<bool, 256>& opcodeSeen);

// One row per effect byte $00..$7F, paired with the same byte plus $80 in a second
// column. Lines end in CR LF; the last row has none.
std::string SpinEffectsReport(const SpinTables& tables);

}  // namespace brevin
