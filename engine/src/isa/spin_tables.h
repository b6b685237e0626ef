// The Spin bytecode vocabulary: opcode table, effect names and cog register names.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "brevin/spin_instruction.h"

namespace brevin {

// What the listing's folding (listing/folding.cpp) knows a line to be: the
// pushes, the instructions that take pushed values, and the names of the lines
// the folding merges. The opcode table gives every opcode its id, so the
// folding decides on values and never compares mnemonic texts.
enum class FoldOp : std::uint8_t {
  None,  // every other line: other Spin instructions, assembler, data, markers, source
  Push,  // PUSH of a variable, a register or an assignment's result
  // PUSH of a literal or of an address (the operand shows "#"): it may fill
  // CASE and LOOKUP lists, fills and moves.
  PushConstant,
  // PUSH of a literal 0..15, shown in decimal: PushLiteral plus its value (the
  // printer refines PushConstant so); it may also name a special register.
  PushLiteral,
  PushLiteralLast = PushLiteral + 15,
  // Calls and returns, which take a FRAME and pushes (Call..AbortValue in this order).
  Call,
  CallObject,
  ReturnValue,  // RETVAL
  AbortValue,   // ABOVAL
  // The instructions the operator folding takes pushes into (Pop..LockReturnSub in this order).
  Pop,
  Case,
  CaseRange,
  Lookup,
  LookDown,
  LookupRange,
  LookDownRange,
  StrComp,
  ByteFill,
  WordFill,
  LongFill,
  ByteMove,
  WordMove,
  LongMove,
  CogInitSub,
  CogInitFun,
  LockNewFun,
  LockSetSub,
  LockSetFun,
  LockClearSub,
  LockClearFun,
  LockReturnSub,
  // FRAME, by the call it prepares.
  FrameResult,       // CALL WITH RETURN VALUE
  FrameNoResult,     // CALL WITHOUT RETURN VALUE
  FrameAbortTrap,    // CALL WITH ABORT TRAP
  FrameIgnoreAbort,  // CALL IGNORING ABORT TRAP
  // Lines the folding merged: a FRAME with its call, a PUSH with its POP or RETVAL or ABOVAL.
  CallFun,
  CallSub,
  CallTrap,
  CallIgnore,
  ObjFun,
  ObjSub,
  ObjTrap,
  ObjIgnore,
  Let,
  Return,
  Abort,
};

// The push of the literal value 0..15, and the value a PushLiteral.. id pushes (-1: none).
constexpr FoldOp LiteralPush(std::uint32_t value) {
  return static_cast<FoldOp>(static_cast<std::uint32_t>(FoldOp::PushLiteral) + value);
}
constexpr int PushedLiteral(FoldOp op) {
  return op >= FoldOp::PushLiteral && op <= FoldOp::PushLiteralLast
             ? static_cast<int>(op) - static_cast<int>(FoldOp::PushLiteral)
             : -1;
}

// The id of an opcode defined by its mnemonic and operand template: a PUSH
// whose template writes "#" pushes a constant ("m#0" and "m#1" the literals 0
// and 1; the printer tells the other literals by their value), a FRAME's
// template names its call.
constexpr FoldOp FoldOpOf(std::string_view mnemonic, std::string_view format) {
  struct Named {
    std::string_view mnemonic;
    FoldOp op;
  };
  constexpr Named kNamed[] = {
      {"POP", FoldOp::Pop},
      {"CALL", FoldOp::Call},
      {"CALLOBJ", FoldOp::CallObject},
      {"RETVAL", FoldOp::ReturnValue},
      {"ABOVAL", FoldOp::AbortValue},
      {"CASE", FoldOp::Case},
      {"CASER", FoldOp::CaseRange},
      {"LOOKUP", FoldOp::Lookup},
      {"LOOKDN", FoldOp::LookDown},
      {"LOOKUPR", FoldOp::LookupRange},
      {"LOOKDNR", FoldOp::LookDownRange},
      {"STRCOMP", FoldOp::StrComp},
      {"BYTEFIL", FoldOp::ByteFill},
      {"WORDFIL", FoldOp::WordFill},
      {"LONGFIL", FoldOp::LongFill},
      {"BYTEMOV", FoldOp::ByteMove},
      {"WORDMOV", FoldOp::WordMove},
      {"LONGMOV", FoldOp::LongMove},
      {"COGISUB", FoldOp::CogInitSub},
      {"COGIFUN", FoldOp::CogInitFun},
      {"LNEWFUN", FoldOp::LockNewFun},
      {"LSETSUB", FoldOp::LockSetSub},
      {"LSETFUN", FoldOp::LockSetFun},
      {"LCLRSUB", FoldOp::LockClearSub},
      {"LCLRFUN", FoldOp::LockClearFun},
      {"LRETSUB", FoldOp::LockReturnSub},
  };
  if (mnemonic == "PUSH") {
    if (format == "m#0" || format == "m#1") return LiteralPush(static_cast<std::uint32_t>(format[2] - '0'));
    return format.find('#') != std::string_view::npos ? FoldOp::PushConstant : FoldOp::Push;
  }
  if (mnemonic == "FRAME") {
    constexpr Named kFrames[] = {{"CALL WITH RETURN VALUE", FoldOp::FrameResult},
                                 {"CALL WITHOUT RETURN VALUE", FoldOp::FrameNoResult},
                                 {"CALL WITH ABORT TRAP", FoldOp::FrameAbortTrap},
                                 {"CALL IGNORING ABORT TRAP", FoldOp::FrameIgnoreAbort}};
    // The template is "f" with the return value's sign, then the text the line shows.
    const std::string_view shown = format.size() >= 2 && format[0] == 'f' ? format.substr(2) : format;
    for (const Named& frame : kFrames) {
      if (shown == frame.mnemonic) return frame.op;
    }
    return FoldOp::None;
  }
  for (const Named& named : kNamed) {
    if (mnemonic == named.mnemonic) return named.op;
  }
  return FoldOp::None;
}

// The id of the mnemonic a special-register byte chooses by the access its
// bits 7..5 give (PUSH, POP, USING or "?").
constexpr FoldOp RegisterFoldOp(SpinAccess access) {
  switch (access) {
    case SpinAccess::Push: return FoldOp::Push;
    case SpinAccess::Pop: return FoldOp::Pop;
    default: return FoldOp::None;
  }
}

// What an opcode does (see SpinOp): $00..$3F one name each in byte order,
// with the three SPR[] accesses sharing one; then the variable forms and the
// operators.
constexpr SpinOp SpinOpOf(std::uint32_t opcode) {
  if (opcode >= 0xE0) return SpinOp::Operator;
  if (opcode >= 0x80) return SpinOp::Variable;
  if (opcode >= 0x40) return SpinOp::VariableFast;
  if (opcode >= 0x24 && opcode <= 0x26) return SpinOp::SpecialRegister;
  return static_cast<SpinOp>(opcode <= 0x23 ? opcode : opcode - 2);
}
static_assert(SpinOpOf(0x23) == SpinOp::WaitCnt && SpinOpOf(0x27) == SpinOp::WaitVid &&
              SpinOpOf(0x3F) == SpinOp::Register);

// The variable an opcode accesses, as its bits encode it. The offset of the
// general forms and of registers, and a register's access, come from the
// operand bytes (the decoder fills them in).
constexpr SpinVariable SpinVariableOf(std::uint32_t opcode) {
  SpinVariable v;
  if (opcode >= 0x40 && opcode < 0x80) {
    // Bits 4..2 pick one of the first eight longs; bit 5 the locals.
    v.base = (opcode & 0x20) != 0 ? SpinBase::Locals : SpinBase::Variables;
    v.access = static_cast<SpinAccess>(opcode & 3);
    v.offset = static_cast<std::int32_t>(opcode & 0x1C);
  } else if (opcode >= 0x80 && opcode < 0xE0) {
    // Bits 6..5 the size, bit 4 an index, bits 3..2 the base, bits 1..0 the access.
    constexpr SpinBase kBases[4] = {SpinBase::Memory, SpinBase::Object, SpinBase::Variables, SpinBase::Locals};
    constexpr SpinSize kSizes[3] = {SpinSize::Byte, SpinSize::Word, SpinSize::Long};
    v.base = kBases[(opcode >> 2) & 3];
    v.size = kSizes[((opcode >> 5) & 3) % 3];
    v.access = static_cast<SpinAccess>(opcode & 3);
    v.indexed = (opcode & 0x10) != 0;
  } else if (opcode >= 0x24 && opcode <= 0x26) {
    v.base = SpinBase::SpecialRegister;
    v.access = static_cast<SpinAccess>(opcode - 0x24);
    v.indexed = true;
  } else if (opcode >= 0x3D && opcode <= 0x3F) {
    v.base = SpinBase::Register;
    v.access = SpinAccess::Invalid;  // until the register byte is read
    v.indexed = opcode != 0x3F;
  }
  return v;
}

// The access a register byte's bits 7..5 choose (as RegisterMnemonic names it).
constexpr SpinAccess RegisterAccess(std::uint32_t reg) {
  switch (reg >> 5) {
    case 4: return SpinAccess::Push;
    case 5: return SpinAccess::Pop;
    case 6: return SpinAccess::Using;
    default: return SpinAccess::Invalid;
  }
}

// One opcode: the listing mnemonic and the operand template read by the decoder.
struct SpinOpcodeEntry {
  std::string_view Mnemonic;
  std::string_view OperandFormat;
};

// "MNEMONIC FORMAT": the entry as one definition text (the format may be empty).
inline std::string DefinitionText(const SpinOpcodeEntry& entry) {
  std::string text(entry.Mnemonic);
  text += ' ';
  text += entry.OperandFormat;
  return text;
}

struct SpinTables {
  // Indexed by the opcode byte.
  std::array<SpinOpcodeEntry, 256> SpinOpcodeTable{};
  // Indexed by the opcode byte: what the listing's folding takes the opcode's
  // line for (beside the entries, which stay 32 bytes for the decoder's sake).
  std::array<FoldOp, 256> FoldOps{};
  // Indexed by the effect byte; $00..$7F are operand names, $80..$FF the names used
  // when the effect is folded into the opcode column.
  std::array<std::string_view, 256> SpinEffectNames{};
  // Cog registers $1E0..$1FF, indexed by the low 5 bits of the register byte.
  std::array<std::string_view, 32> RegisterNames{};
};

// The decimal numbers 0..255 as texts, for opcodes defined without a name.
struct IndexNames {
  char text[256][4]{};
  constexpr IndexNames() {
    for (int i = 0; i < 256; ++i) {
      int n = 0;
      if (i >= 100) text[i][n++] = static_cast<char>('0' + i / 100);
      if (i >= 10) text[i][n++] = static_cast<char>('0' + i / 10 % 10);
      text[i][n] = static_cast<char>('0' + i % 10);
    }
  }
  constexpr std::string_view operator[](int i) const { return std::string_view(text[i]); }
};
inline constexpr IndexNames kIndexNames;

// Fills a SpinTables one definition at a time. Opcodes and registers are appended at
// running counters; effects are placed by index. Later definitions overwrite earlier
// ones. Definitions that would land outside a table are dropped. The tables view the
// texts they are given, so every text must outlive them (the built-in ones are literals,
// and the whole vocabulary is built at compile time).
class SpinTableBuilder {
 public:
  // Appends the next opcode. The mnemonic is the text before the first space, the
  // format everything after it with leading spaces removed; without a space the whole
  // text is the mnemonic. An empty text names the entry by its decimal index.
  constexpr void DefineOpcode(std::string_view text) {
    const int index = nextOpcode_++;
    if (index < 0 || index >= static_cast<int>(tables_.SpinOpcodeTable.size())) return;
    SpinOpcodeEntry& entry = tables_.SpinOpcodeTable[static_cast<std::size_t>(index)];
    const std::size_t space = text.find(' ');
    if (text.empty()) {
      entry = {kIndexNames[index], {}};
    } else if (space == std::string_view::npos) {
      entry = {text, {}};
    } else {
      const std::string_view format = text.substr(space + 1);
      const std::size_t start = format.find_first_not_of(' ');
      entry = {text.substr(0, space), start == std::string_view::npos ? std::string_view() : format.substr(start)};
    }
    tables_.FoldOps[static_cast<std::size_t>(index)] = FoldOpOf(entry.Mnemonic, entry.OperandFormat);
  }

  // Names effect `index`. With a space in the text, `index` gets the part before the
  // first space and `index + $80` the part after it; otherwise both get the whole
  // text. An index below 64 that is a multiple of 4 applies the same definition to
  // the three following indexes as well.
  constexpr void DefineEffect(int index, std::string_view text) {
    DefineOneEffect(index, text);
    if (index >= 0 && index < 64 && index % 4 == 0) {
      for (int i = 1; i < 4; ++i) DefineOneEffect(index + i, text);
    }
  }

  // Appends the next register name.
  constexpr void DefineRegister(std::string_view text) {
    const int index = nextRegister_++;
    if (index < 0 || index >= static_cast<int>(tables_.RegisterNames.size())) return;
    tables_.RegisterNames[static_cast<std::size_t>(index)] = text;
  }

  constexpr const SpinTables& Tables() const { return tables_; }

 private:
  constexpr void DefineOneEffect(int index, std::string_view text) {
    const std::size_t space = text.find(' ');
    SetEffect(index, space == std::string_view::npos ? text : text.substr(0, space));
    SetEffect(index + 0x80, space == std::string_view::npos ? text : text.substr(space + 1));
  }
  constexpr void SetEffect(int at, std::string_view name) {
    if (at >= 0 && at < static_cast<int>(tables_.SpinEffectNames.size())) {
      tables_.SpinEffectNames[static_cast<std::size_t>(at)] = name;
    }
  }

  SpinTables tables_;
  int nextOpcode_ = 0;
  int nextRegister_ = 0;
};

// Builds the complete built-in vocabulary (at compile time, in spin_tables.cpp).
const SpinTables& BuiltInSpinTables();

// The cog register $1E0 + reg (reg 0..31) as Spin and assembly source spell
// it: the table's name in lower case ("par" .. "vscl"); empty below $1F0,
// where the registers have no name in source.
std::string_view SourceRegisterName(std::uint32_t reg);

// PUSH ##OBJ+v of byte, word and long size ($87, $A7, $C7): the object-relative
// address of a DAT label, pushed with the opcode of the label's size. A label
// standing alone on its line is byte-sized, so all three can push a cog start's
// code address. Only $C7's template carries the letter m (as the reference
// table shows); the tracer recognises the other two by their decoded value.
inline bool IsObjectAddressPush(const SpinInstruction& ins) {
  return ins.op == SpinOp::Variable && ins.variable.base == SpinBase::Object &&
         ins.variable.access == SpinAccess::Address && !ins.variable.indexed;
}

}  // namespace brevin
