// Assembler instructions of the image: one long is read and decoded to a
// value, which the listing prints here as one line. Tracing marks the image
// from the same value (trace/asm_trace.cpp).
#include "brevin/text.h"
#include "brevin/asm_instruction.h"
#include "disassembler.h"

namespace brevin {

namespace {

// The value of an assembler data long: small and negative values in decimal,
// others in hex with an even digit count.
std::string AsmDataValue(std::uint32_t value) {
  const std::int32_t signedValue = static_cast<std::int32_t>(value);
  if (signedValue < 16) return DecText(signedValue);
  int digits = 0;
  for (std::uint32_t v = value; v != 0; v >>= 4) ++digits;
  if (digits % 2 != 0) ++digits;
  return "$" + HexText(value, digits);
}

}  // namespace

bool Disassembler::IsAsmData(std::int64_t address) const {
  if (!HasFlag(address, flag::Adat)) return false;
  return VarIds[static_cast<std::size_t>(address)] != 0 || LongAt(address) == 0;
}

void Disassembler::NumberCogVariable(std::int64_t r) {
  const std::int64_t h = CogOrgBase + 4 * r;
  if (!InImage(h)) return;
  std::int32_t& id = VarIds[static_cast<std::size_t>(h)];
  if (id != 0) return;
  id = ++AsmVarCounter;
  NoteVarId(h);
  if (UsedLetters.find('V') == std::string::npos) UsedLetters.push_back('V');
}

std::string Disassembler::RegName(std::int64_t base, std::int64_t r) const {
  if (!Opt.ShowLabels) return "$" + Hex3(r);
  const std::int64_t h = base + 4 * r;
  if (InImage(h) && VarIds[static_cast<std::size_t>(h)] != 0) {
    if (const std::string* given = GivenName(h)) return *given;
    return "V" + DecText(VarIds[static_cast<std::size_t>(h)]);
  }
  return SymbolName(1, h, r);
}

std::uint32_t Disassembler::ReadAsmLong(std::int64_t address) {
  if (HasFlag(address, flag::Org0)) CogOrgBase = address;
  ReadCursor = address;
  return ReadLong();
}

AsmInstruction Disassembler::DecodeAsmLong(std::int64_t address, std::uint32_t word) const {
  if (IsAsmData(address)) {
    AsmInstruction data;
    data.word = word;
    data.mnemonic = "LONG";
    return data;
  }
  // Whether the trace paired D and S as a routine's return register and entry: the form chosen depends on it.
  const std::int64_t hubD = CogOrgBase + 4 * static_cast<std::int64_t>(AsmDField(word));
  const std::int64_t hubS = CogOrgBase + 4 * static_cast<std::int64_t>(AsmSField(word));
  const bool knownPair = InImage(hubD) && InImage(hubS) && PairedWith[static_cast<std::size_t>(hubD)] == hubS &&
                         PairedWith[static_cast<std::size_t>(hubS)] == hubD;
  return DecodeAsm(word, knownPair);
}

AsmInstruction Disassembler::ListAsmInstruction(std::int64_t address) {
  const std::uint32_t word = ReadAsmLong(address);
  InstrBytes.clear();
  PrintBytes(address, ReadCursor);
  const std::int64_t cogAddress = (address - CogOrgBase) / 4;
  LineAddr = Hex4(address) + "   " + Hex3(cogAddress);
  LineHub = static_cast<std::int32_t>(address & 0xFFFF);
  LineCog = static_cast<std::int16_t>(cogAddress & 0xFFF);
  LineOperand.clear();
  const AsmInstruction ins = DecodeAsmLong(address, word);
  if (IsAsmData(address)) {
    SetSection(section::AsmData);
    LineOpcode = std::string(15, ' ');
    LineOperand = "LONG     " + AsmDataValue(word);
    LineWords = FieldWords{0, 0, 4, true};
    return ins;
  }
  SetSection(section::AsmCode);
  LineOperand.clear();
  PrintAsmInstruction(ins, address);
  return ins;
}

void Disassembler::PrintAsmInstruction(const AsmInstruction& ins, std::int64_t address) {
  if (ins.nop) {
    LineOpcode = std::string(16, ' ') + "NOP";
    LineWords = FieldWords{0, 16, 3, false};
    return;
  }
  // The mnemonic and the operands in the opcode column.
  std::size_t mnemonicLength = ins.mnemonic.size();
  if (ins.operandCount == 0) {
    LineOpcode = ins.mnemonic;
  } else {
    LineOpcode = PadTo(ins.mnemonic, 9);
    auto registerText = [&](std::uint32_t r) {
      if (r >= kFirstSpecialRegister) return std::string(tables_.Spin.RegisterNames[r & 31]);
      NumberCogVariable(r);
      return RegName(CogOrgBase, r);
    };
    for (std::size_t i = 0; i < ins.operandCount; ++i) {
      const AsmOperand& operand = ins.operands[i];
      switch (operand.kind) {
        case AsmOperandKind::Register:
        case AsmOperandKind::ReturnRegister: LineOpcode += registerText(operand.value); break;
        case AsmOperandKind::Immediate: LineOpcode += "#" + ConstText(operand.value, true); break;
        case AsmOperandKind::JumpTarget: LineOpcode += RegName(CogOrgBase, operand.value); break;
        case AsmOperandKind::ReturnTarget:
          if (HasFlag(address, flag::Aret) && (ins.word & 0x3FFFF) == 0) {
            LineOpcode = "RET";
            mnemonicLength = 3;
            LineOperand = "_";  // a blank line after the return
          } else {
            LineOpcode += RegName(CogOrgBase, operand.value);
          }
          break;
        case AsmOperandKind::HubAddress:
          if (Opt.ShowLabels) {
            const std::uint32_t sizeFlag =
                ins.memorySize == 1 ? flag::Byte : ins.memorySize == 2 ? flag::Word : flag::Long;
            // The size annotation works on the operand field; borrow it for the hub name.
            const std::string savedOperand = LineOperand;
            LineOperand = HubName(operand.value);
            AnnotateSize(sizeFlag);
            LineOpcode += LineOperand;
            LineOperand = savedOperand;
          } else {
            LineOpcode += "$" + Hex3(operand.value);
          }
          break;
        case AsmOperandKind::Text:
          if (operand.value == ',') {
            LineOpcode += ", ";
          } else {
            LineOpcode += static_cast<char>(operand.value);
          }
          break;
        case AsmOperandKind::HiddenReturn:
        case AsmOperandKind::Indirect: break;
      }
    }
  }
  const std::string_view condition = tables_.Asm.ConditionNames[ins.condition];
  LineOpcode.insert(0, condition);
  // The condition fills its column; the mnemonic (or RET) follows it.
  const std::size_t shown = condition.find_last_not_of(' ') + 1;  // 0 for a blank condition
  LineWords = FieldWords{static_cast<std::uint16_t>(shown), static_cast<std::uint16_t>(condition.size()),
                         static_cast<std::uint16_t>(mnemonicLength), false};

  std::string effects;
  auto addEffect = [&](std::string_view name) {
    if (!effects.empty()) effects += kEffectSeparator;
    effects += name;
  };
  if (ins.writesResult && !ins.writesByDefault) addEffect(kEffectWR);
  if (!ins.writesResult && ins.writesByDefault) addEffect(kEffectNR);
  if (ins.setsC) addEffect(kEffectWC);
  if (ins.setsZ) addEffect(kEffectWZ);
  if (!effects.empty()) LineOpcode += " " + effects;
}

}  // namespace brevin
