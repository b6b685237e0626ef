// Assembler instructions of the image: one long is decoded to a value, which
// then either marks the image (tracing) or becomes one listing line (listing
// pass).
#include "brevin/text.h"
#include "brevin/asm_instruction.h"
#include "disassembler.h"

namespace brevin {

namespace {

constexpr std::uint32_t kFirstSpecialRegister = 0x1F0;  // $1F0..$1FF are named, never variables
constexpr std::uint32_t kRetLocation = 0x80000000u;     // SymbolIds: return location of an unknown routine


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
  if (InImage(h) && VarIds[static_cast<std::size_t>(h)] != 0) return "V" + DecText(VarIds[static_cast<std::size_t>(h)]);
  return SymbolName(1, h, r);
}

AsmInstruction Disassembler::DecodeAsmInstruction(std::int64_t address) {
  if (HasFlag(address, flag::Org0)) CogOrgBase = address;
  const bool listing = ListingPass;
  const bool debug = !listing && Opt.DebugAsmb;

  InstrBytes.clear();
  ReadCursor = address;
  // Reading bytes in tracing mode lets them inherit a Spin mark from the byte
  // before; an assembler long must not pick one up that way.
  std::uint32_t spinBefore = 0;
  if (!listing) {
    for (int i = 0; i < 4; ++i) spinBefore |= (HasFlag(address + i, flag::Spin) ? 1u : 0u) << i;
  }
  const std::uint32_t op = ReadLong();
  if (!listing) {
    for (int i = 0; i < 4; ++i) {
      if (!(spinBefore >> i & 1u)) ClearFlag(address + i, flag::Spin);
    }
  }

  const std::int64_t cogAddress = (address - CogOrgBase) / 4;
  if (listing) {
    LineAddr = Hex4(address) + "   " + Hex3(cogAddress);
    LineHub = static_cast<std::int32_t>(address & 0xFFFF);
    LineCog = static_cast<std::int16_t>(cogAddress & 0xFFF);
    LineOperand.clear();
  } else if (debug) {
    DebugAppend("Asmb " + Hex4(address) + " " + Hex3(cogAddress) + " ");
  }

  if (IsAsmData(address)) {
    if (listing) {
      SetSection(section::AsmData);
      LineOpcode = std::string(15, ' ');
      LineOperand = "LONG     " + AsmDataValue(op);
    } else if (debug) {
      DebugLine("LONG");  // complete the line rather than joining it to the next one
    }
    AsmInstruction data;
    data.word = op;
    data.mnemonic = "LONG";
    return data;
  }
  if (listing) SetSection(section::AsmCode);
  LineOperand.clear();

  const std::int64_t hubD = CogOrgBase + 4 * static_cast<std::int64_t>(AsmDField(op));
  const std::int64_t hubS = CogOrgBase + 4 * static_cast<std::int64_t>(AsmSField(op));
  const bool knownPair = InImage(hubD) && InImage(hubS) && PairedWith[static_cast<std::size_t>(hubD)] == hubS &&
                         PairedWith[static_cast<std::size_t>(hubS)] == hubD;
  const AsmInstruction ins = DecodeAsm(op, knownPair);
  if (listing) {
    PrintAsmInstruction(ins, address);
  } else {
    MarkAsmOperands(ins, address, debug);
  }
  return ins;
}

void Disassembler::MarkAsmOperands(const AsmInstruction& ins, std::int64_t address, bool debug) {
  if (ins.nop) {
    if (debug) DebugLine("NOP");
    return;
  }
  if (ins.operandCount == 0) {
    if (debug) DebugLine(std::string(ins.mnemonic));
    return;
  }
  if (debug) {
    DebugAppend(PadTo(ins.mnemonic, 8) + Hex3(ins.d) + ", ");
    if (ins.immediate) DebugAppend("#");
    DebugLine(Hex3(ins.s));
  }
  const std::int64_t hubD = CogOrgBase + 4 * static_cast<std::int64_t>(ins.d);
  const std::int64_t hubS = CogOrgBase + 4 * static_cast<std::int64_t>(ins.s);
  for (std::size_t i = 0; i < ins.operandCount; ++i) {
    const AsmOperand& operand = ins.operands[i];
    switch (operand.kind) {
      case AsmOperandKind::Register:
        // Special registers are named, never data of the program.
        if (operand.value < kFirstSpecialRegister) {
          SetFlag(CogOrgBase + 4 * static_cast<std::int64_t>(operand.value), flag::Asmb | flag::Adat);
        }
        break;
      case AsmOperandKind::ReturnRegister:
      case AsmOperandKind::HiddenReturn: {
        // The return register: listed as code, named after its routine.
        if (!InImage(hubD)) break;
        SetFlag(hubD, flag::Asmb | flag::Aret | flag::Goto);
        // Through a register, or a routine outside the image: the routine is unknown.
        NoteTableWrite(hubD);
        if (!ins.immediate || !InImage(hubS)) {
          SymbolIds[static_cast<std::size_t>(hubD)] = static_cast<std::int32_t>(kRetLocation);
          break;
        }
        if (debug) {
          DebugLine("Pair " + Hex4(hubS) + " " + Hex3(ins.s));
          DebugLine("Pair " + Hex4(hubD) + " " + Hex3(ins.d));
        }
        SymbolIds[static_cast<std::size_t>(hubD)] = static_cast<std::int32_t>(static_cast<std::uint32_t>(hubS) | kRetLocation);
        NoteTableWrite(hubS);
        std::int32_t& pairOfS = PairedWith[static_cast<std::size_t>(hubS)];
        std::int32_t& pairOfD = PairedWith[static_cast<std::size_t>(hubD)];
        if (pairOfS == 0 && pairOfD == 0) {
          pairOfD = static_cast<std::int32_t>(hubS);
          pairOfS = static_cast<std::int32_t>(hubD);
          ReferencedFrom[static_cast<std::size_t>(hubS)] = static_cast<std::int32_t>(address);
          ReferencedFrom[static_cast<std::size_t>(hubD)] = static_cast<std::int32_t>(address);
        }
        break;
      }
      case AsmOperandKind::HubAddress:
        SetFlag(operand.value, ins.memorySize == 1 ? flag::Byte : ins.memorySize == 2 ? flag::Word : flag::Long);
        break;
      default: break;
    }
  }
}

void Disassembler::PrintAsmInstruction(const AsmInstruction& ins, std::int64_t address) {
  if (ins.nop) {
    LineOpcode = std::string(16, ' ') + "NOP";
    return;
  }
  // The mnemonic and the operands in the opcode column.
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
  LineOpcode.insert(0, tables_.Asm.ConditionNames[ins.condition]);

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
