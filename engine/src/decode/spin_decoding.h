// The Spin decoder's engine-side entry points: decoding straight from the
// image cells, and decoding the operand templates of data lines and the header.
#pragma once

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

}  // namespace brevin
