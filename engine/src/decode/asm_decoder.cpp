// Assembler instruction decoding: one long of the image becomes either marks on
// the image (tracing) or one listing line (listing pass). Everything about the
// individual instructions comes from the opcode table's choice texts; the
// operand letters of the chosen form drive both modes.
#include "brevin/text.h"
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

std::string Disassembler::SelectAsmChoice(std::string_view text, std::uint32_t op, bool knownPair, bool& defaultWrite) {
  std::string working(text);
  while (working.size() >= 2 && working[0] == '?') {
    const std::string marker = working.substr(0, 2);
    const std::size_t second = working.find(marker, 1);
    std::string between, after;
    if (second == std::string::npos) {
      between = working.substr(2);  // an unpaired marker: everything after it is the clear-bit form
    } else {
      between = working.substr(2, second - 2);
      after = working.substr(second + 2);
    }
    bool test = false;
    const char selector = marker[1];
    if (selector == 'w') {
      test = AsmRBit(op);
      defaultWrite = AsmRBit(op) != defaultWrite;
    } else if (selector == 'i') {
      test = AsmIBit(op);
    } else if (selector == 'p') {
      test = !knownPair;
    } else if (selector >= '0' && selector <= '7') {
      test = static_cast<std::uint32_t>(selector - '0') != (AsmSField(op) & 7);
    }
    working = test ? std::move(after) : std::move(between);
  }
  return working;
}

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

void Disassembler::DecodeAsmInstruction(std::int64_t address) {
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
  AsmLong = op;
  AsmS = static_cast<std::int32_t>(AsmSField(op));
  AsmD = static_cast<std::int32_t>(AsmDField(op));
  AsmCondition = AsmConditionField(op);

  const std::int64_t cogAddress = (address - CogOrgBase) / 4;
  if (listing) {
    LineAddr = Hex4(address) + "   " + Hex3(cogAddress);
    LineOperand.clear();
  } else if (debug) {
    DebugAppend("Asmb " + Hex4(address) + " " + Hex3(cogAddress) + " ");
  }

  if (IsAsmData(address)) {
    if (listing) {
      SetSection(section::AsmData);
      LineOpcode = std::string(15, ' ');
      LineOperand = "LONG     " + AsmDataValue(op);
    } else {
      LineOpcode = "LONG";
      if (debug) DebugLine("LONG");  // complete the line rather than joining it to the next one
    }
    return;
  }
  if (listing) SetSection(section::AsmCode);
  LineOperand.clear();

  if (op == 0) {
    LineOpcode = std::string(16, ' ') + "NOP";
    if (debug) DebugLine("NOP");
    return;
  }

  const std::uint32_t field = AsmInstructionField(op);
  bool defaultWrite = tables_.Asm.AsmWritesResult[field];
  const std::int64_t hubD = CogOrgBase + 4 * static_cast<std::int64_t>(AsmD);
  const std::int64_t hubS = CogOrgBase + 4 * static_cast<std::int64_t>(AsmS);
  const bool knownPair = InImage(hubD) && InImage(hubS) && PairedWith[static_cast<std::size_t>(hubD)] == hubS &&
                         PairedWith[static_cast<std::size_t>(hubS)] == hubD;
  const std::string working = SelectAsmChoice(tables_.Asm.AsmOpcodeTable[field], op, knownPair, defaultWrite);

  const std::size_t blank = working.find(' ');
  const std::string mnemonic = working.substr(0, blank);
  const std::string letters = blank == std::string::npos ? std::string() : working.substr(blank + 1);
  const bool immediate = AsmIBit(op);

  if (!listing) {
    LineOpcode = mnemonic;
    if (blank == std::string::npos) {
      if (debug) DebugLine(LineOpcode);
      return;
    }
    if (debug) {
      DebugAppend(PadTo(mnemonic, 8) + Hex3(AsmD) + ", ");
      if (immediate) DebugAppend("#");
      DebugLine(Hex3(AsmS));
    }
    for (const char ch : letters) {
      switch (ch) {
        case 'd':
          if (static_cast<std::uint32_t>(AsmD) < kFirstSpecialRegister) SetFlag(hubD, flag::Asmb | flag::Adat);
          break;
        case 's':
          if (!immediate && static_cast<std::uint32_t>(AsmS) < kFirstSpecialRegister) {
            SetFlag(hubS, flag::Asmb | flag::Adat);
          }
          break;
        case 'c':
        case 'e': {
          // The return register: listed as code, named after its routine.
          if (!InImage(hubD)) break;
          SetFlag(hubD, flag::Asmb | flag::Aret | flag::Goto);
          // Through a register, or a routine outside the image: the routine is unknown.
          NoteTableWrite(hubD);
          if (!immediate || !InImage(hubS)) {
            SymbolIds[static_cast<std::size_t>(hubD)] = static_cast<std::int32_t>(kRetLocation);
            break;
          }
          if (debug) {
            DebugLine("Pair " + Hex4(hubS) + " " + Hex3(AsmS));
            DebugLine("Pair " + Hex4(hubD) + " " + Hex3(AsmD));
          }
          SymbolIds[static_cast<std::size_t>(hubD)] = static_cast<std::int32_t>(hubS | kRetLocation);
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
        case 'j':
        case 'r': FlowFlag = true; break;
        case '*':
          FlowFlag = true;
          AsmS = -1;
          break;
        case 'm': {
          const std::string size = LineOpcode.size() >= 6 ? LineOpcode.substr(2, 4) : std::string();
          if (size == "BYTE") SetFlag(AsmS, flag::Byte);
          else if (size == "WORD") SetFlag(AsmS, flag::Word);
          else if (size == "LONG") SetFlag(AsmS, flag::Long);
          break;
        }
        default: break;
      }
    }
    return;
  }

  // Listing: the mnemonic and the operands in the opcode column.
  if (blank == std::string::npos) {
    LineOpcode = working;
  } else {
    LineOpcode = PadTo(mnemonic, 9);
    auto registerText = [&](std::int32_t r) {
      if (static_cast<std::uint32_t>(r) >= kFirstSpecialRegister) return std::string(tables_.Spin.RegisterNames[r & 31]);
      NumberCogVariable(r);
      return RegName(CogOrgBase, r);
    };
    for (const char ch : letters) {
      switch (ch) {
        case 'd':
        case 'c': LineOpcode += registerText(AsmD); break;
        case 's':
          LineOpcode += immediate ? "#" + ConstText(static_cast<std::uint32_t>(AsmS), true) : registerText(AsmS);
          break;
        case 'j': LineOpcode += RegName(CogOrgBase, AsmS); break;
        case 'r':
          if (HasFlag(address, flag::Aret) && (op & 0x3FFFF) == 0) {
            LineOpcode = "RET";
            LineOperand = "_";  // a blank line after the return
          } else {
            LineOpcode += RegName(CogOrgBase, AsmS);
          }
          break;
        case 'm':
          if (Opt.ShowLabels) {
            const std::string size = mnemonic.size() >= 6 ? mnemonic.substr(2, 4) : std::string();
            const std::uint32_t sizeFlag = size == "BYTE" ? flag::Byte : size == "WORD" ? flag::Word : flag::Long;
            // The size annotation works on the operand field; borrow it for the hub name.
            const std::string savedOperand = LineOperand;
            LineOperand = HubName(AsmS);
            AnnotateSize(sizeFlag);
            LineOpcode += LineOperand;
            LineOperand = savedOperand;
          } else {
            LineOpcode += "$" + Hex3(AsmS);
          }
          break;
        case ',': LineOpcode += ", "; break;
        case 'e':
        case '*': break;
        default: LineOpcode += ch; break;
      }
    }
  }
  LineOpcode.insert(0, tables_.Asm.ConditionNames[AsmCondition]);

  std::string effects;
  auto addEffect = [&](std::string_view name) {
    if (!effects.empty()) effects += kEffectSeparator;
    effects += name;
  };
  if (AsmRBit(op) && !defaultWrite) addEffect(kEffectWR);
  if (!AsmRBit(op) && defaultWrite) addEffect(kEffectNR);
  if (AsmCBit(op)) addEffect(kEffectWC);
  if (AsmZBit(op)) addEffect(kEffectWZ);
  if (!effects.empty()) LineOpcode += " " + effects;
}

}  // namespace brevin
