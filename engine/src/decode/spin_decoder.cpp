// Decoding one Spin instruction: the opcode's table entry gives the mnemonic
// and the operand template that the interpreter runs.
#include "brevin/text.h"
#include "brevin/version_text.h"
#include "brevin/spin_instruction.h"
#include "disassembler.h"

namespace brevin {

SpinInstruction Disassembler::DecodeSpinInstruction(std::int64_t address) {
  // The tracer reads only the mnemonic: the line's texts are made while listing.
  if (ListingPass) {
    AssignHex(LineAddr, static_cast<std::uint32_t>(address), 4);
    LineHub = static_cast<std::int32_t>(address & 0xFFFF);
    LineCog = -1;
  }
  InstrBytes.clear();
  const bool debug = !ListingPass && Opt.DebugSpin;
  if (debug) DebugAppend("Spin " + Hex4(address) + " ");
  const SpinInstruction ins = DecodeSpin(CellSource(), address);
  // The bytes read give the line its byte column, or carry the Spin mark on.
  ConsumeBytes(address, ins.end);
  ReadCursor = address + 1;
  OpcodeSeen[ins.opcode] = true;
  const SpinOpcodeEntry& entry = tables_.Spin.SpinOpcodeTable[ins.opcode];
  DecodedMnemonic = entry.Mnemonic;
  if (ListingPass) LineOpcode = entry.Mnemonic;
  LineOperand.clear();
  if (!ListingPass && ins.opcode == 0) ++FrameCount;

  std::size_t next = 0;
  if (!entry.OperandFormat.empty()) {
    InterpretOperands(address, entry.OperandFormat, ins, next);
    if (IsObjectAddressPush(ins.opcode) && !ReadPastEnd()) CodeAddressMark = OperandValue;
    if (debug) {
      DebugLine(PadTo(DecodedMnemonic, 9) + "$" + HexText(static_cast<std::uint32_t>(OperandValue), 8) + " / " +
                SignedText(OperandValue));
    }
  } else if (debug) {
    DebugLine(std::string(DecodedMnemonic));
  }
  if (DecodedMnemonic == "USING" && !ReadPastEnd()) DecodeEffectByte(ins, next);
  ReadCursor = ins.end;
  return ins;
}

void Disassembler::DecodeEffectByte(const SpinInstruction& ins, std::size_t next) {
  if (next >= ins.operandCount) return;  // cut off by the end of the image
  const std::uint32_t effect = static_cast<std::uint32_t>(ins.operands[next].value);
  ReadCursor = ins.operands[next++].end;
  EffectSeen[effect] = true;
  std::string name(tables_.Spin.SpinEffectNames[effect & 0x7F]);
  if (name.empty()) {
    name = "**** $" + HexText(effect, 2);
    if (LineLabel.empty() || LineLabel[0] != ';') ReportProblem("EFFECT $" + HexText(effect, 2) + " " + std::string(DecodedMnemonic));
  }
  if (ListingPass) {
    if (Opt.FoldEffects) {
      if (effect & 0x80) {
        LineOpcode = "PUSH";
        LineOperand += " " + name;
      } else {
        // The folded name stands as the mnemonic; an undefined effect keeps its "****" text.
        if (!tables_.Spin.SpinEffectNames[effect | 0x80].empty()) name = tables_.Spin.SpinEffectNames[effect | 0x80];
        LineOpcode = name;
      }
    } else {
      if (effect & 0x80) LineOperand += " PUSH";
      LineOperand += " " + name;
    }
  }
  if (std::string_view(name) == "RPTINCJ" || std::string_view(name) == "RPTADDJ") {
    if (next >= ins.operandCount) return;
    const std::int32_t offset = static_cast<std::int32_t>(ins.operands[next].value);
    ReadCursor = ins.operands[next].end;
    if (ListingPass) {
      if (Opt.FoldEffects) LineOperand += ",";
      LineOperand += " " + RelName(ReadCursor, offset);
    } else {
      SetFlag(ReadCursor + offset, flag::Goto);
    }
  }
}

void Disassembler::ReportProblem(const std::string& text) {
  if (!ProblemReports) return;
  const std::string crlf(kCrLf);
  const MessageAnswer answer = host_.ShowMessage(std::string(ProductTitle),
                                                 text + crlf + crlf + "Continue reporting problem issues?",
                                                 MessageButtons::YesNoCancel, MessageIcon::Critical);
  if (answer == MessageAnswer::No) {
    ProblemReports = false;
  } else if (answer == MessageAnswer::Cancel) {
    ProblemReports = false;
    TraceAbort = true;
  }
}

}  // namespace brevin
