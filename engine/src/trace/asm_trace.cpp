// Assembler flow tracing: starting at a launched entry point, follow the code
// the way a cog would run it and flag every long reached as an instruction.
//
// Conditional jumps and calls start a nested trace of their target that runs
// to its end before the path that found it goes on. The nesting lives on an
// explicit stack, so long chains of calls cannot exhaust the machine stack.
#include "brevin/text.h"
#include "disassembler.h"

namespace brevin {

namespace {

constexpr std::uint32_t kAlways = 15;  // the condition field of an unconditional instruction
constexpr std::uint32_t kRetLocation = 0x80000000u;  // SymbolIds: return location of an unknown routine

}  // namespace

namespace detail {

class AsmTracer {
 public:
  explicit AsmTracer(Disassembler& e) : e_(e) {}

  void Run(std::int64_t address, std::uint32_t entryFlags) {
    Enter(address, entryFlags);
    while (!paths_.empty()) Step();
  }

 private:
  bool Debug() const { return e_.Opt.DebugAsmb; }

  // The entry steps of one trace: the start long is marked even when it was
  // traced before, so a second jump into traced code still flags its target.
  void Enter(std::int64_t address, std::uint32_t entryFlags) {
    if (!InImage(address)) return;
    if (Debug()) e_.DebugLine("Asmb " + Hex4(address) + " Starts");
    e_.ClearFlag(address, flag::Spin);
    e_.SetFlag(address, entryFlags | flag::Asmb);
    paths_.push_back(address);
  }

  void End() { paths_.pop_back(); }

  // Decodes the next long of the innermost path and acts on its flow.
  void Step() {
    const std::int64_t a = paths_.back();
    if (e_.TraceAbort) {
      if (Debug()) e_.DebugLine("Asmb " + Hex4(a) + " Done" + std::string(kCrLf));
      return End();
    }
    if (!InImage(a) || e_.HasFlag(a, flag::Done)) return End();
    e_.ClearFlag(a, flag::Spin);
    e_.SetFlag(a, flag::Asmb | flag::Done);
    const AsmInstruction ins = e_.TraceAsmInstruction(a);
    paths_.back() = e_.ReadCursor;
    if (ins.flow == AsmFlow::Next) return;

    const std::int32_t s = ins.FlowTarget();
    const bool always = ins.condition == kAlways;
    const std::int64_t target = e_.CogOrgBase + 4 * static_cast<std::int64_t>(s);
    // A target outside the image (a wrong block base) is never marked or followed.
    const bool reachable = InImage(target);

    if (ins.flow == AsmFlow::Jump) {
      if (s <= 0) {
        // JMP #0 (an unpatched return) or a jump through a register: the path
        // ends when it always jumps, and falls through when it may not.
        if (always) {
          if (Debug()) e_.DebugLine("Exit" + std::string(kCrLf));
          End();
        }
        return;
      }
      if (!reachable) {
        if (always) End();
        return;
      }
      if (Debug()) e_.DebugLine("Goto " + Hex4(target) + " " + Hex3(s));
      if (always) {
        e_.SetFlag(target, flag::Goto);
        paths_.back() = target;  // tracing goes on at the target, not after the jump
      } else {
        Enter(target, flag::Goto);
      }
      return;
    }
    if (!reachable) return;
    if (Debug()) e_.DebugLine("Call " + Hex4(target) + " " + Hex3(s));
    Enter(target, ins.flow == AsmFlow::Call ? flag::Call : flag::JmpT);  // the routine first, then the return point
  }

  Disassembler& e_;
  std::vector<std::int64_t> paths_;  // the next long of each open trace, innermost last
};

}  // namespace detail

void Disassembler::TraceAssembly(std::int64_t address, std::uint32_t entryFlags) { detail::AsmTracer(*this).Run(address, entryFlags); }

AsmInstruction Disassembler::TraceAsmInstruction(std::int64_t address) {
  const std::uint32_t word = ReadAsmLong(address);
  const bool debug = Opt.DebugAsmb;
  if (debug) DebugAppend("Asmb " + Hex4(address) + " " + Hex3((address - CogOrgBase) / 4) + " ");
  const AsmInstruction ins = DecodeAsmLong(address, word);
  if (IsAsmData(address)) {
    if (debug) DebugLine("LONG");  // complete the line rather than joining it to the next one
    return ins;
  }
  MarkAsmOperands(ins, address, debug);
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
        // Through a register, a routine outside the image, or one that would be
        // its own return location (a name that never ends): the routine is unknown.
        NoteTableWrite(hubD);
        if (!ins.immediate || !InImage(hubS) || hubS == hubD) {
          SymbolIds[static_cast<std::size_t>(hubD)] = static_cast<std::int32_t>(kRetLocation);
          break;
        }
        if (debug) {
          DebugLine("Pair " + Hex4(hubS) + " " + Hex3(ins.s));
          DebugLine("Pair " + Hex4(hubD) + " " + Hex3(ins.d));
        }
        NoteTableWrite(hubS);
        std::int32_t& pairOfS = PairedWith[static_cast<std::size_t>(hubS)];
        std::int32_t& pairOfD = PairedWith[static_cast<std::size_t>(hubD)];
        // A routine has one return location named after it; another one that
        // returns into it gets a name of its own, so no label is given twice.
        const bool otherReturn = pairOfS != 0 && pairOfS != static_cast<std::int32_t>(hubD);
        SymbolIds[static_cast<std::size_t>(hubD)] = static_cast<std::int32_t>(
            otherReturn ? kRetLocation : static_cast<std::uint32_t>(hubS) | kRetLocation);
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

}  // namespace brevin
