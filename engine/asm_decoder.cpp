// Assembler instruction decoding.
#include "engine.h"
#include "text.h"

namespace brevin {

void Engine::DecodeAsmInstruction(std::int64_t address) {
  // Until the assembler tables drive decoding, each long is listed as data.
  LineAddr = HexText(static_cast<std::uint32_t>(address), 4);
  InstrBytes.clear();
  ReadCursor = address;
  const std::uint32_t value = ReadLong();
  LineOpcode = "LONG";
  LineOperand = "$" + HexText(value, 8);
}

}  // namespace brevin
