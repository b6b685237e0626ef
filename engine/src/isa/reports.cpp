// The public reference pages, over the shared tables.
#include "brevin/reports.h"

#include "isa/asm_reports.h"
#include "isa/spin_reports.h"
#include "isa/tables.h"

namespace brevin {

std::string SpinOpcodesReport(const std::array<bool, 256>& opcodeSeen) {
  return SpinOpcodesReport(SharedTables().Spin, opcodeSeen);
}
std::string SpinEffectsReport() { return SpinEffectsReport(SharedTables().Spin); }
std::string AsmOpcodesReport() { return AsmOpcodesReport(SharedTables().Asm); }

std::string SpinOpcodeDefinition(int opcode) {
  return DefinitionText(SharedTables().Spin.SpinOpcodeTable[static_cast<std::size_t>(opcode & 0xFF)]);
}
std::string_view SpinEffectName(int effect) {
  return SharedTables().Spin.SpinEffectNames[static_cast<std::size_t>(effect & 0xFF)];
}

}  // namespace brevin
