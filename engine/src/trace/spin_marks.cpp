// What tracing takes from one Spin instruction: the instruction decoded to a
// value, then its bytes marked as Spin code, the variables it touches marked
// with their sizes, and the tracer's state (the last operand, the pushed
// constants, the code-address mark) carried on. The listing prints the same
// value (listing/spin_printer.cpp).
#include "brevin/text.h"
#include "brevin/version_text.h"
#include "brevin/spin_instruction.h"
#include "disassembler.h"
#include "isa/spin_tables.h"

namespace brevin {

SpinInstruction Disassembler::TraceSpinInstruction(std::int64_t address) {
  const bool debug = Opt.DebugSpin;
  if (debug) DebugAppend("Spin " + Hex4(address) + " ");
  const SpinInstruction ins = DecodeSpin(CellSource(), address);
  SpreadSpinMark(address, ins.end);
  ReadCursor = address + 1;
  OpcodeSeen[ins.opcode] = true;
  const SpinOpcodeEntry& entry = tables_.Spin.SpinOpcodeTable[ins.opcode];
  DecodedMnemonic = entry.Mnemonic;
  if (ins.op == SpinOp::FrameResult) ++FrameCount;

  std::size_t next = 0;
  if (!entry.OperandFormat.empty()) {
    TraceSpinOperands(address, entry.OperandFormat, ins, next);
    if (IsObjectAddressPush(ins) && !ReadPastEnd()) CodeAddressMark = OperandValue;
    if (debug) {
      DebugLine(PadTo(DecodedMnemonic, 9) + "$" + HexText(static_cast<std::uint32_t>(OperandValue), 8) + " / " +
                SignedText(OperandValue));
    }
  } else if (debug) {
    DebugLine(std::string(DecodedMnemonic));
  }
  if (DecodedMnemonic == "USING" && !ReadPastEnd()) TraceEffectByte(ins, next);
  ReadCursor = ins.end;
  return ins;
}

void Disassembler::SpreadSpinMark(std::int64_t from, std::int64_t to) {
  // As a read would: only bytes in the image up to the limit count. A byte
  // read as part of a Spin instruction inherits the Spin mark of the one before.
  const std::int64_t last = std::min<std::int64_t>(std::min<std::int64_t>(to - 1, ReadLimit), kLastAddress);
  for (std::int64_t at = std::max<std::int64_t>(from, 1); at <= last; ++at) {
    if (const std::uint32_t spin = Image[static_cast<std::size_t>(at - 1)] & flag::Spin) {
      Image[static_cast<std::size_t>(at)] |= spin;
      NoteCellWritten(at);
    }
  }
}

void Disassembler::TraceSpinOperands(std::int64_t address, std::string_view format, const SpinInstruction& ins,
                                     std::size_t& next) {
  PushHistory = {-1, PushHistory[0], PushHistory[1], PushHistory[2]};
  // The variable operand read last (letters d and v), which the size letter
  // after it marks with the size and in the place the decoder found.
  std::int64_t varOffset = -1;
  const SpinBase varBase = ins.variable.base;

  auto take = [&] { return TakeOperand(ins, next); };

  // Only the letters matter here (and the characters some of them take along);
  // literal template text marks nothing.
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char ch = format[i];
    switch (ch) {
      case 'a': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        OperandValue = static_cast<std::int32_t>(o->value);
        break;
      }
      case 'b':
      case 'w':
      case 'l': {
        if (varOffset < 0) break;
        const SpinSize sized = ins.variable.size;
        const std::uint32_t size = sized == SpinSize::Byte ? flag::Byte : sized == SpinSize::Word ? flag::Word : flag::Long;
        if (varBase == SpinBase::Object) {
          SetFlag(ObjBase + varOffset, size | flag::Done);
        } else if (varBase == SpinBase::Variables) {
          if (ObjVarBase >= 0) SetFlag(ObjVarBase + varOffset, size | flag::Done);
        } else if (varBase == SpinBase::Locals) {
          if (InImage(address)) {
            NoteTableWrite(address);
            LocalAccess[static_cast<std::size_t>(address)] =
                static_cast<std::int32_t>(varOffset | static_cast<std::int64_t>(size | 3) << 16);
          }
          if (DebugVars) {
            const char* name = sized == SpinSize::Byte ? "Byte" : sized == SpinSize::Word ? "Word" : "Long";
            DebugDefer(std::string(name) + " " + Hex4(ObjVarBase + varOffset) + " " + DecText(varOffset));
          }
        }
        break;
      }
      case 'c': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        OperandValue = static_cast<std::int32_t>(static_cast<std::uint32_t>(o->value));
        break;
      }
      case 'd': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        varOffset = o->value;
        break;
      }
      case 'f':
        if (i + 1 < format.size()) ReturnValueFlag = format[++i] == '+';
        break;
      case 'k': {
        const char form = i + 1 < format.size() ? format[++i] : '\0';
        switch (form) {
          case '1': case '2': case '3': case '4': case 'c': case 's': case 'p': break;
          case '<':
            if (i + 1 < format.size()) ++i;
            break;
          default: continue;  // no constant: the operand value stays
        }
        const SpinOperand* o = take();
        if (o == nullptr) return;
        const std::uint32_t value = static_cast<std::uint32_t>(o->value);
        OperandValue = static_cast<std::int32_t>(value);
        if (value < 0x10000) PushHistory[0] = static_cast<std::int32_t>(value);
        // Tracing decodes reached code only, never a guess over unreached bytes.
        if (o->wrong) ReportProblem("PACKED CONSTANT ERROR");
        break;
      }
      case 'm':
        if (i + 1 < format.size() && format[i + 1] == '#') {
          if (i + 2 < format.size() && (format[i + 2] == '0' || format[i + 2] == '1')) {
            PushHistory[0] = format[i + 2] - '0';
          }
        } else {
          CodeAddressMark = OperandValue;
        }
        break;
      case 'p': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        const std::uint32_t object = static_cast<std::uint32_t>(o->value);
        OperandValue = static_cast<std::int32_t>(object);
        if (i + 1 < format.size() && format[i + 1] == '[') i += 2;
        const SpinOperand* m = take();
        if (m == nullptr) return;
        OperandValue = static_cast<std::int32_t>(object * 256 + static_cast<std::uint32_t>(m->value));
        break;
      }
      case 'r': {
        if (take() == nullptr) return;
        DecodedMnemonic = ins.mnemonic;  // the register byte's choice
        break;
      }
      case 'u': CodeAddressMark = 0; break;
      case 'v': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        OperandValue = static_cast<std::int32_t>(o->value);
        varOffset = o->value;
        break;
      }
      case 'x': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        OperandValue = static_cast<std::int32_t>(static_cast<std::uint32_t>(o->value) + static_cast<std::uint32_t>(ObjBase));
        break;
      }
      case 'y': {
        const SpinOperand* o = take();
        if (o == nullptr) return;
        OperandValue = static_cast<std::int32_t>(static_cast<std::uint32_t>(o->value));
        break;
      }
      default: break;
    }
  }
}

void Disassembler::TraceEffectByte(const SpinInstruction& ins, std::size_t next) {
  if (next >= ins.operandCount) return;  // cut off by the end of the image
  const std::uint32_t effect = static_cast<std::uint32_t>(ins.operands[next].value);
  ReadCursor = ins.operands[next++].end;
  EffectSeen[effect] = true;
  const std::string_view name = tables_.Spin.SpinEffectNames[effect & 0x7F];
  if (name.empty()) {
    ReportProblem("EFFECT $" + HexText(effect, 2) + " " + std::string(DecodedMnemonic));
    return;
  }
  if (name == "RPTINCJ" || name == "RPTADDJ") {
    if (next >= ins.operandCount) return;
    const std::int32_t offset = static_cast<std::int32_t>(ins.operands[next].value);
    ReadCursor = ins.operands[next].end;
    SetFlag(ReadCursor + offset, flag::Goto);
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
