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
    const AsmInstruction ins = e_.DecodeAsmInstruction(a);
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

}  // namespace brevin
