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

// What an opcode does: one name for each opcode of $00..$3F, then the two
// variable forms and the operators. Callers switch on it instead of on the
// opcode byte; a variable access says the rest in SpinVariable, an operator in
// SpinMath.
enum class SpinOp : std::uint8_t {
  FrameResult,        // $00 FRAME: a call whose value is pushed
  FrameNoResult,      // $01 FRAME: a call whose value is dropped
  FrameAbortTrap,     // $02 FRAME: \call, the value pushed
  FrameIgnoreAbort,   // $03 FRAME: \call, the value dropped
  Jump,               // $04 GOTO
  Call,               // $05 CALL: a method of this object
  CallObject,         // $06 CALLOBJ: a method of a sub-object
  CallObjectIndexed,  // $07 CALLOBJ[]: of an element of a sub-object array (index popped)
  CountStart,         // $08 LOOPJPF: enters a "repeat count" loop, or jumps past it
  CountRepeat,        // $09 LOOPRPT: decrements the count, back to the start while not zero
  JumpIfFalse,        // $0A JPF
  JumpIfTrue,         // $0B JPT
  CaseDone,           // $0C GOTO[]: leaves a case through the address under the value
  Case,               // $0D CASE: one value
  CaseRange,          // $0E CASER: a range of values
  LookEnd,            // $0F LOOKEND
  Lookup,             // $10 LOOKUP: one value
  LookDown,           // $11 LOOKDN
  LookupRange,        // $12 LOOKUPR: a range of values
  LookDownRange,      // $13 LOOKDNR
  PopStack,           // $14: drops values (a case's before quit or next)
  Run,                // $15 MARK: a Spin method a new cog will run
  StrSize,            // $16
  StrComp,            // $17
  ByteFill,           // $18
  WordFill,           // $19
  LongFill,           // $1A
  WaitPeq,            // $1B
  ByteMove,           // $1C
  WordMove,           // $1D
  LongMove,           // $1E
  WaitPne,            // $1F
  ClkSet,             // $20
  CogStop,            // $21
  LockReturn,         // $22
  WaitCnt,            // $23
  SpecialRegister,    // $24..$26 SPR[]: a cog register chosen by a popped index
  WaitVid,            // $27
  CogInitPush,        // $28 COGINIT with its cog id pushed (cognew)
  LockNewPush,        // $29
  LockSetPush,        // $2A
  LockClearPush,      // $2B
  CogInit,            // $2C COGINIT as a statement
  LockNew,            // $2D
  LockSet,            // $2E
  LockClear,          // $2F
  Abort,              // $30
  AbortValue,         // $31
  Return,             // $32
  ReturnValue,        // $33
  PushMinusOne,       // $34
  PushZero,           // $35
  PushOne,            // $36
  PushPacked,         // $37: a packed constant (a power of two, less one, inverted)
  PushByte,           // $38
  PushWord,           // $39: two bytes, most significant first
  PushThreeBytes,     // $3A
  PushLong,           // $3B
  Undefined,          // $3C
  RegisterBit,        // $3D: a bit of a cog register (bit index popped)
  RegisterBits,       // $3E: a range of bits of a cog register (both ends popped)
  Register,           // $3F: a whole cog register
  VariableFast,       // $40..$7F: one of the first eight longs of VAR or the locals
  Variable,           // $80..$DF: a byte, word or long of memory, DAT, VAR or the locals
  Operator,           // $E0..$FF: math on the stack (see SpinMath)
};

// The math operators, numbered as the low five bits of an operator opcode
// ($E0 + n) and of an assignment's operator effect ($40 + n).
enum class SpinMath : std::uint8_t {
  RotateRight, RotateLeft, ShiftRight, ShiftLeft, LimitMin, LimitMax, Negate, BitNot,
  BitAnd, Absolute, BitOr, BitXor, Add, Subtract, ShiftArithmetic, Reverse,
  LogicAnd, Encode, LogicOr, Decode, Multiply, MultiplyHigh, Divide, Modulo,
  SquareRoot, Less, Greater, NotEqual, Equal, LessOrEqual, GreaterOrEqual, LogicNot,
};

// Where a variable access finds its variable.
enum class SpinBase : std::uint8_t {
  None,             // the instruction accesses no variable
  Memory,           // hub memory at a popped address (byte[], word[], long[])
  Object,           // the object's own bytes (DAT), from its start
  Variables,        // the object's VAR block
  Locals,           // the method's result, parameters and locals
  SpecialRegister,  // a cog register $1F0 + a popped index (spr[])
  Register,         // the cog register $1E0 + offset
};

enum class SpinSize : std::uint8_t { Byte = 1, Word = 2, Long = 4 };

// What an access does with its variable; Invalid where a register byte's
// bits 7..5 name no access.
enum class SpinAccess : std::uint8_t { Push, Pop, Using, Address, Invalid };

// The variable a variable-access instruction names, whichever form encodes it.
struct SpinVariable {
  SpinBase base = SpinBase::None;
  SpinSize size = SpinSize::Long;
  SpinAccess access = SpinAccess::Push;
  // An index is popped: the "[]" after the variable, or a register's bit
  // index or range; spr[]'s index is the register itself (always true).
  bool indexed = false;
  // Bytes from the base (Object, Variables, Locals), the register 0..31
  // (Register); 0 for Memory and SpecialRegister.
  std::int32_t offset = 0;
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
  SpinOp op = SpinOp::Undefined;  // what the opcode does
  SpinMath math = SpinMath::RotateRight;  // Operator: which one
  SpinVariable variable;      // the variable accessed (base None: none)
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
