// Propeller assembly vocabulary: the opcode choice texts, the default-write flags,
// the condition names and the effect names, plus the bit fields of an instruction long.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace brevin {

inline constexpr std::size_t kAsmOpcodeCount = 64;
inline constexpr std::size_t kAsmConditionCount = 16;
// Every condition name is padded with blanks to this width so the opcode column lines up.
inline constexpr std::size_t kConditionWidth = 16;

// Effect names shown after an instruction, joined by kEffectSeparator.
inline constexpr std::string_view kEffectWR = "WR";
inline constexpr std::string_view kEffectNR = "NR";
inline constexpr std::string_view kEffectWC = "WC";
inline constexpr std::string_view kEffectWZ = "WZ";
inline constexpr std::string_view kEffectSeparator = ", ";

// Bit fields of an instruction long.
constexpr std::uint32_t AsmInstructionField(std::uint32_t op) { return op >> 26; }
constexpr bool AsmZBit(std::uint32_t op) { return (op >> 25) & 1U; }
constexpr bool AsmCBit(std::uint32_t op) { return (op >> 24) & 1U; }
constexpr bool AsmRBit(std::uint32_t op) { return (op >> 23) & 1U; }
constexpr bool AsmIBit(std::uint32_t op) { return (op >> 22) & 1U; }
constexpr std::uint32_t AsmConditionField(std::uint32_t op) { return (op >> 18) & 0xFU; }
constexpr std::uint32_t AsmDField(std::uint32_t op) { return (op >> 9) & 0x1FFU; }
constexpr std::uint32_t AsmSField(std::uint32_t op) { return op & 0x1FFU; }

struct AsmTables {
  // Choice text per instruction field; entries never defined (4..7) stay empty.
  std::array<std::string_view, kAsmOpcodeCount> AsmOpcodeTable{};
  // Whether the instruction writes its result when no WR/NR effect is given.
  std::array<bool, kAsmOpcodeCount> AsmWritesResult{};
  // Condition names by condition field, each exactly kConditionWidth characters;
  // "always" (15) is all blanks.
  std::array<std::string_view, kAsmConditionCount> ConditionNames{};
};

// Stores one definition. The encoding pattern is "iiiiii ZCRI cccc ddddddddd sssssssss":
// its first six characters give the table index ("1" is a one bit, anything else a zero
// bit) and its tenth character (the R position) gives the default-write flag ("1" only).
// A later definition of the same index replaces the earlier one. The table views the
// choice text, which must outlive it.
constexpr void DefineAsmOpcode(AsmTables& tables, std::string_view choiceText, std::string_view pattern) {
  std::size_t index = 0;
  for (std::size_t i = 0; i < 6; ++i) {
    index = index * 2 + (i < pattern.size() && pattern[i] == '1' ? 1 : 0);
  }
  tables.AsmOpcodeTable[index] = choiceText;
  tables.AsmWritesResult[index] = pattern.size() > 9 && pattern[9] == '1';
}

// The complete assembler tables (built at compile time, in asm_tables.cpp).
const AsmTables& BuiltInAssemblerTables();

}  // namespace brevin
