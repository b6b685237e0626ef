// The folding queue: a fixed ring of line slots. A slot keeps its strings'
// storage when a line leaves, so pushing the next line copies its text into
// memory already there instead of allocating five strings per listing line.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "brevin/analysis.h"
#include "isa/spin_tables.h"

namespace brevin {

// Where the mnemonic sits in a field that holds more than it: an assembly
// line's opcode field (condition, mnemonic, operands and effects) or a data
// line's operand field (directive and value). By default the opcode field is
// the mnemonic and the operand field the operands.
struct FieldWords {
  static constexpr std::uint16_t kWholeField = 0xFFFF;
  std::uint16_t conditionLength = 0;  // an assembly condition at the field's start
  std::uint16_t mnemonicAt = kWholeField;
  std::uint16_t mnemonicLength = 0;
  bool inOperand = false;  // in the operand field; the operands follow it there
  std::uint16_t commentAt = kWholeField;  // where a comment begins in the opcode field (kWholeField: none)
};

// The five fields of one listing line, and how it takes the indentation.
struct LineFields {
  std::string addr, bytes, label, opcode, operand;
  // A line outside Spin code (marker, data, padding, variables, assembler): it
  // stands at indentation 0, whatever the Spin lines before it left.
  bool flat = false;
  // A guess over unreached bytes ("; ----"): what it does to the indentation
  // ends with its run.
  bool unreached = false;
  // The hub address and cog register the address field shows (-1: none).
  std::int32_t hub = -1;
  std::int16_t cog = -1;
  // Hub addresses of the symbols whose names the line's fields were built
  // with, in the order named (repeats allowed): the model's references.
  std::vector<std::int32_t> named;
  std::size_t commentAt = std::string::npos;  // where a comment begins in operand
  FieldWords words;
  LineKind kind = LineKind::Text;
  FoldOp op = FoldOp::None;  // what the folding takes the line for
};

template <std::size_t Capacity>
class LineQueue {
 public:
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  void clear() { count_ = 0; }

  // i counts from the oldest line.
  LineFields& operator[](std::size_t i) { return slots_[(head_ + i) & kMask]; }
  const LineFields& operator[](std::size_t i) const { return slots_[(head_ + i) & kMask]; }
  LineFields& front() { return (*this)[0]; }
  LineFields& back() { return (*this)[count_ - 1]; }
  const LineFields& back() const { return (*this)[count_ - 1]; }

  // A slot for a new newest line; the caller overwrites every field. The
  // queue must not be full.
  LineFields& push_back() {
    ++count_;
    return back();
  }
  void pop_front() {
    head_ = (head_ + 1) & kMask;
    --count_;
  }
  // The slot keeps its text until the next push_back, so a reference taken
  // just before stays readable.
  void pop_back() { --count_; }

 private:
  // At most Capacity lines are queued; the ring has a power of two of slots so
  // that an index wraps with a mask rather than a division.
  static constexpr std::size_t kSlots = std::bit_ceil(Capacity);
  static constexpr std::size_t kMask = kSlots - 1;
  std::array<LineFields, kSlots> slots_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

}  // namespace brevin
