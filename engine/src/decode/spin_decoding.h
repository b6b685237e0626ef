// The Spin decoder's engine-side entry points: decoding straight from the
// image cells, and decoding the operand templates of data lines and the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "brevin/spin_instruction.h"

namespace brevin {

// Where the decoder reads bytes: plain bytes, or cells that hold a byte in
// their low 8 bits (the engine's image); read only at addresses 0..limit.
struct ByteSource {
  const std::uint8_t* bytes = nullptr;
  const std::uint32_t* cells = nullptr;  // used when bytes is null
  std::int64_t limit = -1;               // the last address that may be read
};

// Decodes the Spin instruction at address with the built-in opcode table.
SpinInstruction DecodeSpin(const ByteSource& source, std::int64_t address);

// Decodes the operands of a template starting at address; opcode supplies the
// "d" offsets. Stops at the first read past the limit (truncated).
void DecodeTemplate(const ByteSource& source, std::string_view format, std::int64_t address, std::uint32_t opcode,
                    SpinInstruction& into);

// What a variable operand's offset counts from: hub memory, the object, its
// variables or the method's locals.
enum class VarBase : int { Memory = 0, Object = 1, Variables = 2, Locals = 3 };

// The listing's numbering of the places a variable offset counts from (the
// decoder's SpinBase of a DAT, VAR or local access).
constexpr VarBase VarBaseOf(SpinBase base) {
  switch (base) {
    case SpinBase::Object: return VarBase::Object;
    case SpinBase::Variables: return VarBase::Variables;
    case SpinBase::Locals: return VarBase::Locals;
    default: return VarBase::Memory;
  }
}

// The mnemonic a special-register byte chooses by its bits 7..5.
constexpr std::string_view RegisterMnemonic(std::uint32_t reg) {
  switch (reg >> 5) {
    case 4: return "PUSH";
    case 5: return "POP";
    case 6: return "USING";
    default: return "?";
  }
}

}  // namespace brevin
