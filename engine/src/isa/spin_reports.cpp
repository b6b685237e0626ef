#include "isa/spin_reports.h"

#include "brevin/text.h"

namespace brevin {

std::string SpinOpcodesReport(const SpinTables& tables, const std::array<bool, 256>& opcodeSeen) {
  std::string out = "Spin Opcodes";
  out += kCrLf;
  out += "============";
  out += kCrLf;
  for (std::size_t op = 0; op < tables.SpinOpcodeTable.size(); ++op) {
    const SpinOpcodeEntry& entry = tables.SpinOpcodeTable[op];
    out += kCrLf;
    out += opcodeSeen[op] ? "  " : "**";
    out += "  ";
    out += HexText(static_cast<std::uint32_t>(op), 2);
    out += "    ";
    out += PadTo(entry.Mnemonic, 9);
    out += entry.OperandFormat;
  }
  return out;
}

std::string SpinEffectsReport(const SpinTables& tables) {
  std::string out = "Spin 'Using' Effects";
  out += kCrLf;
  out += "====================";
  out += kCrLf;
  out += kCrLf;
  out += PadTo("When used with an opcode", 40);
  out += "When used as a unary operator";
  out += kCrLf;
  for (std::uint32_t c = 0; c < 0x80; ++c) {
    out += kCrLf;
    out += PadTo(HexText(c, 2) + "    " + std::string(tables.SpinEffectNames[c]), 40);
    out += HexText(c + 0x80, 2);
    out += "    ";
    out += tables.SpinEffectNames[c + 0x80];
  }
  return out;
}

}  // namespace brevin
