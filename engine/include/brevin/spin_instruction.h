// One Spin instruction decoded into a value: the opcode, its operands in the
// order the bytecode holds them, and the effect byte of an assignment
// ("USING") with its jump. The operand template of the opcode table says what
// each byte is; the same walk decodes the templates of data lines and the
// header. Decoding reads bytes and nothing else: naming, marking and folding
// work on the value afterwards, and any caller may decode bytes of its own
// without an engine.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace brevin {

// What an operand of a template stands for, by the template letter that reads it.
enum class SpinOperandKind : std::uint8_t {
  JumpOffset,      // "a": a signed offset from the end of the operand (1 or 2 bytes)
  MethodIndex,     // "c": a method's entry number in the current object's table
  ObjectIndex,     // "p", first byte: an object's entry number in the table
  ObjectMethod,    // "p", second byte: the method's entry number in that object
  Constant,        // "k" with a form: a literal (see form, sizeDigit, wrong)
  Variable,        // "v": a variable offset (1 or 2 bytes); "d" takes it from the opcode
  Register,        // "r": a special register byte (bits 7..5 PUSH/POP/USING, 4..0 the register)
  HubLong,         // "x": a long relative to the object base
  ClockMode,       // "y": the clock mode byte
  Effect,          // the effect byte of a USING instruction
  EffectJump,      // the jump offset of a repeat effect (RPTINCJ, RPTADDJ)
};

// How an instruction passes control on, when its template says it does.
enum class SpinFlow : std::uint8_t {
  Next,          // to the next instruction
  Call,          // CALL: a method of the current object (MethodIndex)
  CallObject,    // CALLOBJ: a method of a sub-object (ObjectIndex, ObjectMethod)
  Jump,          // GOTO: to the JumpOffset's target
  JumpIfTrue,    // JPT
  JumpIfFalse,   // JPF, LOOPJPF
  Repeat,        // LOOPRPT: back to the loop's start
  Case,          // CASE, CASER: to the matching branch or on
  JumpTable,     // GOTO[]: through a table right after the instruction
  CogStart,      // COGISUB, COGIFUN: a new cog runs Spin or assembly
  Return,        // RETURN, RETVAL, ABORT, ABOVAL
  Other,         // another instruction that ends a path or jumps in a way not followed
};

struct SpinOperand {
  SpinOperandKind kind;
  std::int64_t value;  // the decoded number (offsets signed)
  std::int64_t end;    // the address after the operand's last byte
  char form;           // Constant: the template's form character (1-4, <, p, c, s)
  char sizeDigit;      // Constant "<n": the byte count digit
  bool wrong;          // Constant "p": a packed byte with its top bit set
  bool fromOpcode;     // Variable "d": the offset is bits 4..2 of the opcode
};

struct SpinInstruction {
  std::int64_t address = 0;
  std::uint32_t opcode = 0;
  std::string_view mnemonic;  // the table's, or PUSH/POP/USING/? chosen by a register byte
  std::string_view format;    // the opcode's operand template
  // The first operandCount are decoded; the rest are left unset (no template
  // reads more than four, with the effect byte and its jump).
  std::array<SpinOperand, 6> operands;
  std::size_t operandCount = 0;
  std::int64_t end = 0;        // the address after the last byte read (past the limit when truncated)
  bool truncated = false;      // a read went past the last readable address
  bool transfers = false;      // a jump, call or case ("a", "c", "p", "*" in the template)
  SpinFlow flow = SpinFlow::Next;  // what kind, when it transfers

  std::int64_t size() const { return end - address; }
  const SpinOperand* Find(SpinOperandKind kind) const;
};

// Decodes the Spin instruction at address over plain bytes with the built-in
// opcode table: address 0 is bytes[0], and nothing past them is read.
SpinInstruction DecodeSpin(std::span<const std::uint8_t> bytes, std::int64_t address);

}  // namespace brevin
