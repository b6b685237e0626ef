// Spin instruction decoding and tracing.
#include "engine.h"
#include "text.h"

namespace brevin {

void Engine::DecodeSpinInstruction(std::int64_t address) {
  // Until the opcode tables drive decoding, each byte is listed on its own.
  LineAddr = HexText(static_cast<std::uint32_t>(address), 4);
  InstrBytes.clear();
  ReadCursor = address;
  const std::uint32_t value = ReadByte();
  LineOpcode = "BYTE";
  LineOperand = "$" + HexText(value, 2);
}

void Engine::TraceSpin(std::int64_t /*address*/, std::uint32_t /*extraFlags*/) {}

}  // namespace brevin
