#include "isa/asm_reports.h"

#include "brevin/text.h"

namespace brevin {

std::string BinaryDigits(std::uint32_t value, int count) {
  std::string out;
  for (int bit = count - 1; bit >= 0; --bit) {
    out.push_back(bit < 32 && ((value >> bit) & 1U) ? '1' : '0');
  }
  return out;
}

std::string AsmOpcodesReport(const AsmTables& tables) {
  std::string page = "Assembler Opcodes";
  page += kCrLf;
  page += "=================";
  page += kCrLf;
  // Each row starts with its own line break, which leaves a blank line under the
  // underline and none after the last row.
  for (std::uint32_t i = 0; i < kAsmOpcodeCount; ++i) {
    page += kCrLf;
    page += HexText(i, 2);
    page += "    ";
    page += BinaryDigits(i, 6);
    page += "    ";
    page += tables.AsmOpcodeTable[i];
  }
  return page;
}

}  // namespace brevin
