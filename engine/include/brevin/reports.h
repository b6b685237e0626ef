// Plain-text reference pages over the built-in Spin and assembler tables,
// shown in place of a listing, and the table texts developer mode stores.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace brevin {

// One row per Spin opcode: "**" marks opcodes never decoded, then the byte, the
// mnemonic and the operand format. Lines end in CR LF; the last row has none.
std::string SpinOpcodesReport(const std::array<bool, 256>& opcodeSeen);
// One row per effect byte $00..$7F, paired with the same byte plus $80.
std::string SpinEffectsReport();
// "Assembler Opcodes": one row per instruction field (hex, binary, choice text).
std::string AsmOpcodesReport();

// The definition text of a Spin opcode (mnemonic and operand format), as stored
// for opcodes never decoded.
std::string SpinOpcodeDefinition(int opcode);
// The name of an effect byte; empty for bytes that name no effect.
std::string_view SpinEffectName(int effect);

}  // namespace brevin
