// The Spin bytecode vocabulary: opcode table, effect names and cog register names.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace brevin {

// One opcode: the listing mnemonic and the operand template read by the decoder.
struct SpinOpcodeEntry {
  std::string Mnemonic;
  std::string OperandFormat;
};

struct SpinTables {
  // Indexed by the opcode byte.
  std::array<SpinOpcodeEntry, 256> SpinOpcodeTable;
  // Indexed by the effect byte; $00..$7F are operand names, $80..$FF the names used
  // when the effect is folded into the opcode column.
  std::array<std::string, 256> SpinEffectNames;
  // Cog registers $1E0..$1FF, indexed by the low 5 bits of the register byte.
  std::array<std::string, 32> RegisterNames;
};

// Fills a SpinTables one definition at a time. Opcodes and registers are appended at
// running counters; effects are placed by index. Later definitions overwrite earlier
// ones. Definitions that would land outside a table are dropped.
class SpinTableBuilder {
 public:
  // Appends the next opcode. The mnemonic is the text before the first space, the
  // format everything after it with leading spaces removed; without a space the whole
  // text is the mnemonic. An empty text names the entry by its decimal index.
  void DefineOpcode(std::string_view text);

  // Names effect `index`. With a space in the text, `index` gets the part before the
  // first space and `index + $80` the part after it; otherwise both get the whole
  // text. An index below 64 that is a multiple of 4 applies the same definition to
  // the three following indexes as well.
  void DefineEffect(int index, std::string_view text);

  // Appends the next register name.
  void DefineRegister(std::string_view text);

  const SpinTables& Tables() const { return tables_; }
  SpinTables Take() { return std::move(tables_); }

 private:
  void DefineOneEffect(int index, std::string_view text);

  SpinTables tables_;
  int nextOpcode_ = 0;
  int nextRegister_ = 0;
};

// Builds the complete built-in vocabulary.
SpinTables BuildSpinTables();

// PUSH ##OBJ+v of byte, word and long size ($87, $A7, $C7): the object-relative
// address of a DAT label, pushed with the opcode of the label's size. A label
// standing alone on its line is byte-sized, so all three can push a cog start's
// code address. Only $C7's template carries the letter m (as the reference
// table shows); the decoder recognises the other two by their opcode.
inline bool IsObjectAddressPush(std::uint32_t opcode) { return opcode == 0x87 || opcode == 0xA7 || opcode == 0xC7; }

}  // namespace brevin
