// Spin control-flow tracing: which bytes are Spin code, and where every call,
// jump and case branch leads.
//
// The natural form is recursive (one level per followed destination); real
// images chain thousands of them, so the levels live on an explicit stack that
// keeps the same depth-first order: a followed destination is traced to its
// end before the path that found it goes on.
#include "brevin/text.h"
#include "disassembler.h"
#include "isa/spin_tables.h"

namespace brevin {

namespace detail {

// PUSH 0, 1 and the constants with operand bytes: the pushes whose value the
// tracer keeps (PUSH -1 gives none).
constexpr bool PushesConstant(SpinOp op) {
  switch (op) {
    case SpinOp::PushZero: case SpinOp::PushOne: case SpinOp::PushPacked: case SpinOp::PushByte:
    case SpinOp::PushWord: case SpinOp::PushThreeBytes: case SpinOp::PushLong:
      return true;
    default:
      return false;
  }
}

struct TraceLevel {
  enum Kind { Path, ObjectCall } kind;
  std::int64_t next = 0;  // Path: the next instruction to decode
  // ObjectCall: the step still to do, the method called, and the object to return to.
  int stage = 0;
  std::uint32_t method = 0;
  std::int64_t savedObjBase = 0;
  std::int64_t savedObjVarBase = 0;
};


class SpinTracer {
 public:
  explicit SpinTracer(Disassembler& e) : e_(e) {}

  void Run(std::int64_t address, std::uint32_t flags) {
    Enter(address, flags);
    while (!levels_.empty()) {
      if (e_.TraceAbort) {
        Unwind();
        break;
      }
      if (levels_.back().kind == TraceLevel::Path) {
        StepPath();
      } else {
        StepObjectCall();
      }
    }
  }

 private:
  bool Debug() const { return e_.Opt.DebugSpin; }

  void OutOfRange(std::int64_t after, std::string_view mnemonic) {
    std::string text = "Destination out of range" + std::string(kCrLf) + std::string(kCrLf) + Hex4(after);
    if (!mnemonic.empty()) {
      text += kCrLf;
      text += mnemonic;
    }
    e_.ReportProblem(text);
  }

  // The entry steps of one traced path; the path itself runs from the loop.
  void Enter(std::int64_t address, std::uint32_t flags) {
    if (!InImage(address)) {
      OutOfRange(address, "");
      return;
    }
    e_.FrameCount = 0;
    e_.ClearFlag(address, flag::Asmb);
    e_.SetFlag(address, flags | flag::Spin);
    e_.CodeAddressMark = 0;
    levels_.push_back({TraceLevel::Path, address});
  }

  void StepPath() {
    const std::int64_t a = levels_.back().next;
    if (!InImage(a)) return End();
    if (e_.HasFlag(a, flag::Done)) {
      if (Debug()) e_.DebugLine("Spin " + Hex4(a) + " Done");
      return End();
    }
    if (e_.FrameCount > 4) {
      e_.FrameCount = 0;
      if (Debug()) e_.DebugLine("Spin " + Hex4(a) + " Abort due to excessive FRAME opcodes");
      return End();
    }
    const std::int64_t start = a;
    e_.ClearFlag(a, flag::Asmb);
    e_.SetFlag(a, flag::Done | flag::Spin);
    const std::int32_t markBefore = e_.CodeAddressMark;
    const SpinInstruction ins = e_.TraceSpinInstruction(a);
    if (e_.ReadPastEnd()) return End();  // the instruction runs off the image
    const std::int64_t after = e_.ReadCursor;
    const bool markIndexedBefore = markIndexed_;
    bool addressPush = IsObjectAddressPush(ins);
    if (addressPush) {
      markIndexed_ = false;
    } else {
      addressPush = IndexedAddressMark(ins, start);
    }
    if (addressPush) {
      markBeforeLast_ = markBefore;
      markBeforeLastIndexed_ = markIndexedBefore;
      lastMarkEnd_ = after;
    }
    levels_.back().next = after;
    if (e_.PushHistory[0] >= 0) {
      if (recentConstants_.size() == 8) recentConstants_.erase(recentConstants_.begin());
      recentConstants_.push_back(e_.PushHistory[0]);
    }
    const bool constantPush = PushesConstant(ins.op) && e_.PushHistory[0] >= 0;
    lastConstant_ = constantPush ? e_.PushHistory[0] : -1;
    lastConstantEnd_ = constantPush ? after : -1;
    if (ins.flow == SpinFlow::Next) return;
    Act(ins, start, after);
  }

  void End() { levels_.pop_back(); }

  // With "Trace All Methods": the address of a DAT item with a constant index
  // (@entry[0]: a constant push, then $97, $B7 or $D7) is a code address like
  // @entry is. It becomes the mark when the instruction right before pushed the
  // index; an index computed at run time gives no address.
  bool IndexedAddressMark(const SpinInstruction& ins, std::int64_t start) {
    if (!e_.Opt.TraceAllMethods || lastConstantEnd_ != start || lastConstant_ < 0) return false;
    const SpinVariable& v = ins.variable;
    if (ins.op != SpinOp::Variable || v.base != SpinBase::Object || v.access != SpinAccess::Address || !v.indexed)
      return false;
    const auto size = static_cast<std::int64_t>(v.size);
    const std::int64_t offset = static_cast<std::int64_t>(e_.OperandValue) + size * lastConstant_;
    if (offset <= 0 || offset >= kImageSize) return false;
    e_.CodeAddressMark = static_cast<std::int32_t>(offset);
    markIndexed_ = true;
    return true;
  }

  // A code address found by the rules that "Trace All Methods" adds is launched
  // only where assembly can be: a long inside the program below VBASE that no
  // method table or traced Spin code claims. A wrong guess then leaves data alone.
  bool PlausibleLaunch(std::int64_t address) const {
    return address % 4 == 0 && address >= e_.PBASE && address < e_.VBASE && InImage(address) &&
           !e_.HasFlag(address, flag::Spin) && !e_.HasFlag(address, flag::Link);
  }

  // Marks a jump destination's referrer and writes its debug line; false when out of range.
  bool Destination(std::int64_t start, std::int64_t after, std::int64_t dest, std::int64_t offset,
                   const char* debugWord, std::string_view mnemonic) {
    if (!InImage(dest)) {
      OutOfRange(after, mnemonic);
      return false;
    }
    if (mnemonic != "CASE" && mnemonic != "CASER") {  // a case's branches are named by their values
      e_.NoteTableWrite(dest);
      e_.ReferencedFrom[static_cast<std::size_t>(dest)] = static_cast<std::int32_t>(start);
    }
    if (Debug()) e_.DebugLine(std::string(debugWord) + " " + Hex4(dest) + " " + SignedText(offset));
    return true;
  }

  void MarkTableEntries(std::int64_t objBase, std::int64_t from, std::int64_t downTo) {
    for (std::int64_t k = from; k >= downTo; --k) e_.SetFlag(objBase + 4 * k, flag::Done | flag::Link);
  }

  void Act(const SpinInstruction& ins, std::int64_t start, std::int64_t after) {
    const std::string_view op = ins.mnemonic;
    const SpinOperand* jump = ins.Find(SpinOperandKind::JumpOffset);
    const std::int64_t offset = jump != nullptr ? jump->value : 0;
    const std::int64_t dest = after + offset;
    switch (ins.flow) {
      case SpinFlow::Call: {
        const std::int64_t n = ins.Find(SpinOperandKind::MethodIndex)->value;
        const std::int64_t entry = e_.ObjBase + 4 * n;
        if (!InImage(entry)) return OutOfRange(after, "");
        MarkTableEntries(e_.ObjBase, n, 0);
        const std::int64_t target = e_.ObjBase + e_.WordAt(entry);
        if (!InImage(target)) return OutOfRange(after, "");
        e_.NoteTableWrite(target);
        e_.ReferencedFrom[static_cast<std::size_t>(target)] = static_cast<std::int32_t>(start);
        if (Debug()) e_.DebugLine("Call " + Hex4(target) + " via Link at $" + Hex4(entry) + " " + SignedText(n));
        Enter(target, flag::Call | (e_.ReturnValueFlag ? flag::Xfun : 0));
        break;
      }
      case SpinFlow::Jump:
        if (Destination(start, after, dest, offset, "Goto", "")) e_.SetFlag(dest, flag::Goto);
        break;
      case SpinFlow::JumpIfTrue:
        if (Destination(start, after, dest, offset, "JmpT", op)) Enter(dest, flag::JmpT);
        break;
      case SpinFlow::JumpIfFalse:
        if (Destination(start, after, dest, offset, "JmpF", op)) Enter(dest, flag::JmpF);
        break;
      case SpinFlow::Repeat:
        if (Destination(start, after, dest, offset, "Goto", op)) {
          e_.SetFlag(dest, flag::Goto);
          levels_.back().next = dest;
        }
        break;
      case SpinFlow::Case:
        if (Destination(start, after, dest, offset, "JmpT", op)) Enter(dest, flag::Goto);
        break;
      case SpinFlow::JumpTable: e_.SetFlag(after, flag::Goto); break;
      case SpinFlow::CogStart: CogStart(start); break;
      case SpinFlow::Return:
        if (Debug()) e_.DebugLine("Exit");
        End();
        break;
      case SpinFlow::CallObject:
        StartObjectCall(static_cast<std::uint32_t>(ins.Find(SpinOperandKind::ObjectIndex)->value) & 0xFF,
                        static_cast<std::uint32_t>(ins.Find(SpinOperandKind::ObjectMethod)->value) & 0xFF);
        break;
      case SpinFlow::Next:
      case SpinFlow::Other: break;
    }
  }

  // A cog start: launch assembly when its code address is known, or trace the
  // Spin method that the cog will run.
  void CogStart(std::int64_t start) {
    const auto& history = e_.PushHistory;
    if (SpinMethodLaunch(start)) return;
    if (e_.CodeAddressMark > 0) {
      // The parameter is the last value pushed: an object address pushed right
      // before the cog start is the parameter (cognew(@entry, @buffer)), and the
      // code address is the mark before it.
      std::int32_t mark = e_.CodeAddressMark;
      bool indexed = markIndexed_;
      if (lastMarkEnd_ == start && markBeforeLast_ > 0) {
        mark = markBeforeLast_;
        indexed = markBeforeLastIndexed_;
      }
      if (!indexed || PlausibleLaunch(e_.ObjBase + mark)) {
        if (Debug()) e_.DebugLine("Call Asmb");
        e_.LaunchAssembly(e_.ObjBase + mark);
      }
      e_.CodeAddressMark = 0;
    } else if (history[1] >= 0 && history[2] >= 0 && history[3] >= 0) {
      const bool restartsThisCog = history[3] == 0;
      e_.LaunchAssembly(history[2]);
      if (restartsThisCog) End();  // cog 0 runs the assembly now; this Spin path ends
    }
  }

  // A cog that runs a Spin method is started by MARK right before the cog start.
  // Before it come the method's arguments, the constant (argument count x 256 +
  // method index) and the stack address. The method is code the new cog runs, so
  // it is traced like a call. The constant is the one just before a one-step
  // stack address, or else the latest constant that carries an argument count.
  bool SpinMethodLaunch(std::int64_t start) {
    constexpr std::uint32_t kMark = 0x15;
    if (start < 1 || e_.ByteAt(start - 1) != kMark || !e_.HasFlag(start - 1, flag::Done)) return false;
    std::int64_t target = -1, n = 0;
    auto accept = [&](std::int32_t constant) {
      if (constant < 0 || target >= 0) return;
      n = constant & 0xFF;
      const std::int64_t entry = e_.ObjBase + 4 * n;
      const std::int64_t length = e_.WordAt(e_.ObjBase);
      const std::int64_t offset = e_.WordAt(entry);
      // A method entry points past the table and inside its own object.
      if (n >= 1 && InImage(entry + 1) && offset >= 4 * (n + 1) && offset < length) target = e_.ObjBase + offset;
    };
    accept(e_.PushHistory[3]);
    for (auto it = recentConstants_.rbegin(); it != recentConstants_.rend(); ++it) {
      if ((*it >> 8) >= 1 && (*it >> 8) <= 15) accept(*it);
    }
    if (target < 0 || !InImage(target)) return false;
    const std::int64_t entry = e_.ObjBase + 4 * n;
    MarkTableEntries(e_.ObjBase, n, 0);
    e_.NoteTableWrite(target);
    e_.ReferencedFrom[static_cast<std::size_t>(target)] = static_cast<std::int32_t>(start);
    if (Debug()) e_.DebugLine("Cog " + Hex4(target) + " via Link at $" + Hex4(entry) + " " + SignedText(n));
    Enter(target, flag::Call);
    return true;
  }

  void StartObjectCall(std::uint32_t object, std::uint32_t method) {
    TraceLevel level{TraceLevel::ObjectCall};
    level.method = method;
    level.savedObjBase = e_.ObjBase;
    level.savedObjVarBase = e_.ObjVarBase;
    MarkTableEntries(e_.ObjBase, object, 0);
    e_.ObjVarBase += e_.WordAt(e_.ObjBase + 4 * object + 2);
    e_.ObjBase += e_.WordAt(e_.ObjBase + 4 * object);
    e_.SetFlag(e_.ObjBase, flag::Done | flag::Xobj | flag::Link);
    MarkTableEntries(e_.ObjBase, method, 1);
    levels_.push_back(level);
  }

  // A call into a sub-object traces its first method, then the method called.
  void StepObjectCall() {
    TraceLevel& level = levels_.back();
    const std::uint32_t xfun = e_.ReturnValueFlag ? flag::Xfun : 0;
    switch (level.stage++) {
      case 0: Enter(e_.ObjBase + e_.WordAt(e_.ObjBase + 4), flag::Call | xfun); break;
      case 1: Enter(e_.ObjBase + e_.WordAt(e_.ObjBase + 4 * level.method), flag::Call | xfun); break;
      default:
        e_.ObjBase = level.savedObjBase;
        e_.ObjVarBase = level.savedObjVarBase;
        End();
        break;
    }
  }

  // Tracing was cancelled: drop every level, putting the outermost object back.
  void Unwind() {
    for (auto it = levels_.rbegin(); it != levels_.rend(); ++it) {
      if (it->kind == TraceLevel::ObjectCall) {
        e_.ObjBase = it->savedObjBase;
        e_.ObjVarBase = it->savedObjVarBase;
      }
    }
    levels_.clear();
  }

  Disassembler& e_;
  std::vector<TraceLevel> levels_;
  // The code-address mark before the latest object-address push, and where that push ended.
  std::int32_t markBeforeLast_ = 0;
  std::int64_t lastMarkEnd_ = -1;
  // Whether the current mark, and the one before the latest address push, came
  // from an indexed address (only with "Trace All Methods").
  bool markIndexed_ = false;
  bool markBeforeLastIndexed_ = false;
  // The constant the instruction decoded last pushed, and where that instruction
  // ended; -1 when it pushed none.
  std::int32_t lastConstant_ = -1;
  std::int64_t lastConstantEnd_ = -1;
  std::vector<std::int32_t> recentConstants_;  // the last constants pushed, oldest first
};

}  // namespace detail

void Disassembler::TraceSpin(std::int64_t address, std::uint32_t extraFlags) { detail::SpinTracer(*this).Run(address, extraFlags); }

void Disassembler::LaunchAssembly(std::int64_t address) {
  if (!Opt.ProcessAssembler || !InImage(address)) return;
  // The entry may have been traced by an earlier launch: decode it again so
  // that it sets its block base, then stop at the first long already done.
  ClearFlag(address, flag::Done);
  TraceAssembly(address, flag::Org0 | flag::Call);
}

}  // namespace brevin
