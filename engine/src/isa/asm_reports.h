// Reference page listing the assembler opcode table as it is held.
#pragma once

#include <cstdint>
#include <string>

#include "isa/asm_tables.h"

namespace brevin {

// The lowest count bits of value as "0"/"1", most significant first (5, 6 -> "000101").
std::string BinaryDigits(std::uint32_t value, int count);

// "Assembler Opcodes" page: a title, its underline, a blank line, then one row per
// instruction field (hex, binary, choice text with its markers). Lines end in CR LF;
// the last row has no line end.
std::string AsmOpcodesReport(const AsmTables& tables);

}  // namespace brevin
