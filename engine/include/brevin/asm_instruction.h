// One assembler long decoded into a value: the chosen instruction form, its
// operands and its effect on control flow. Decoding needs nothing but the long
// (and whether D and S form a known call pair, which picks CALL over JMPRET);
// the tracer marks the image from the value and the listing prints it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace brevin {

// What an operand of the chosen form stands for. The letters of the opcode
// table's forms map one to one onto these kinds.
enum class AsmOperandKind : std::uint8_t {
  Register,        // "d" (D) or "s" (S without the I bit): a cog register
  Immediate,       // "s" with the I bit: a 9-bit literal
  JumpTarget,      // "j": the cog address S that control goes to (#S)
  ReturnTarget,    // "r": JMP #S, which a CALL's return patches; S = 0 lists as RET
  ReturnRegister,  // "c": D of a JMPRET, the register the return address goes to
  HiddenReturn,    // "e": the same register, not written in the listing (CALL #S)
  HubAddress,      // "m": S as a hub address read or written by RDxxxx/WRxxxx #S
  Indirect,        // "*": the jump goes through register S; its target is unknown
  Text,            // a character of the form written as it stands ("," or "#")
};

struct AsmOperand {
  AsmOperandKind kind = AsmOperandKind::Text;
  std::uint32_t value = 0;  // the register, literal or address; the character for Text
};

// How the instruction passes control on.
enum class AsmFlow : std::uint8_t {
  Next,      // to the next long
  Jump,      // JMP: to its target (ReturnTarget or Indirect operand) and, when conditional, on
  Call,      // JMPRET / CALL: to the routine at its JumpTarget, which comes back after it
  Branch,    // DJNZ, TJNZ, TJZ with #S: to the JumpTarget or on
};

struct AsmInstruction {
  std::uint32_t word = 0;        // the long as read
  std::uint32_t opcode = 0;      // the instruction field (bits 31..26), the opcode table's index
  std::uint32_t condition = 15;  // bits 21..18; 15 runs always
  std::uint32_t d = 0, s = 0;    // the D and S fields
  bool immediate = false;        // the I bit: S is a literal
  bool writesResult = false;     // the R bit
  bool writesByDefault = false;  // whether this form writes its result without WR or NR
  bool setsC = false, setsZ = false;  // WC and WZ
  bool nop = false;              // the long is 0
  std::string_view mnemonic;     // of the chosen form; empty for the undefined fields 4..7
  std::uint32_t memorySize = 0;  // 1, 2 or 4 for the hub reads and writes, else 0
  AsmFlow flow = AsmFlow::Next;
  std::array<AsmOperand, 4> operands{};
  std::size_t operandCount = 0;

  // The jump, call or branch target register, or -1 when it goes through a register.
  std::int32_t FlowTarget() const;
};

// Resolves the "?x" markers of a choice text for the instruction long: a view of
// the chosen form within text. knownPair tells whether D and S form a recorded call
// pair (the "p" selector); a "w" selector replaces defaultWrite by R XOR defaultWrite.
std::string_view SelectAsmChoice(std::string_view text, std::uint32_t word, bool knownPair, bool& defaultWrite);

// Decodes one long with the built-in opcode table.
AsmInstruction DecodeAsm(std::uint32_t word, bool knownPair);

}  // namespace brevin
