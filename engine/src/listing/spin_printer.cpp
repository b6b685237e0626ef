// Listing one Spin instruction: the instruction decoded to a value, then
// printed into the line fields (address, bytes, mnemonic and operands).
#include "brevin/text.h"
#include "brevin/spin_instruction.h"
#include "disassembler.h"

namespace brevin {

SpinInstruction Disassembler::ListSpinInstruction(std::int64_t address) {
  AssignHex(LineAddr, static_cast<std::uint32_t>(address), 4);
  LineHub = static_cast<std::int32_t>(address & 0xFFFF);
  LineCog = -1;
  InstrBytes.clear();
  const SpinInstruction ins = DecodeSpin(CellSource(), address);
  PrintBytes(address, ins.end);
  ReadCursor = address + 1;
  OpcodeSeen[ins.opcode] = true;
  const SpinTables& spin = tables_.Spin;
  const SpinOpcodeEntry& entry = spin.SpinOpcodeTable[ins.opcode];
  LineOp = spin.FoldOps[ins.opcode];
  std::string_view mnemonic = entry.Mnemonic;  // a register byte may choose another
  SetText(LineOpcode, entry.Mnemonic);
  LineOperand.clear();
  std::size_t next = 0;
  if (!entry.OperandFormat.empty()) PrintOperands(entry.OperandFormat, ins, next, mnemonic);
  if (mnemonic == "USING" && !ReadPastEnd()) PrintEffectByte(ins, next, mnemonic);
  ReadCursor = ins.end;
  return ins;
}

void Disassembler::PrintEffectByte(const SpinInstruction& ins, std::size_t next, std::string_view mnemonic) {
  if (next >= ins.operandCount) return;  // cut off by the end of the image
  const std::uint32_t effect = static_cast<std::uint32_t>(ins.operands[next].value);
  ReadCursor = ins.operands[next++].end;
  EffectSeen[effect] = true;
  std::string name(tables_.Spin.SpinEffectNames[effect & 0x7F]);
  if (name.empty()) {
    name = "**** $" + HexText(effect, 2);
    if (LineLabel.empty() || LineLabel[0] != ';') ReportProblem("EFFECT $" + HexText(effect, 2) + " " + std::string(mnemonic));
  }
  if (Opt.FoldEffects) {
    if (effect & 0x80) {
      LineOpcode = "PUSH";
      LineOp = FoldOp::Push;
      LineOperand += " " + name;
    } else {
      // The folded name stands as the mnemonic; an undefined effect keeps its "****" text.
      if (!tables_.Spin.SpinEffectNames[effect | 0x80].empty()) name = tables_.Spin.SpinEffectNames[effect | 0x80];
      LineOpcode = name;
      LineOp = FoldOp::None;
    }
  } else {
    if (effect & 0x80) LineOperand += " PUSH";
    LineOperand += " " + name;
  }
  if (std::string_view(name) == "RPTINCJ" || std::string_view(name) == "RPTADDJ") {
    if (next >= ins.operandCount) return;
    const std::int32_t offset = static_cast<std::int32_t>(ins.operands[next].value);
    ReadCursor = ins.operands[next].end;
    if (Opt.FoldEffects) LineOperand += ",";
    LineOperand += " " + RelName(ReadCursor, offset);
  }
}

}  // namespace brevin
