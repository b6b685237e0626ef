// Reads one Spin method into a syntax tree. The instructions come from the
// public decoder; a stack of nodes rebuilds the expressions, and the jump
// patterns the compiler emits for each block give the control structures back.
#include "recovery/spin/stack_machine.h"

#include <algorithm>

namespace brevin::recovery::spin {
namespace {

// Bounds for bytes that are no compiled method: no source nests blocks this
// deep or writes an expression this large.
constexpr int kDeepestBlock = 40;
constexpr int kLargestExpression = 4000;
constexpr int kDeepestExpression = 400;

}  // namespace

MethodTree ReadMethod(std::span<const std::uint8_t> object, std::int32_t start, std::int32_t end) {
  StackMachine machine(object, start, end);
  return machine.Run();
}

MethodTree StackMachine::Run() {
  MethodTree tree;
  if (!Scan()) {
    tree.exact = false;
    tree.difference = failure_;
    tree.codeEnd = codeEnd_;
    return tree;
  }
  tree.codeEnd = codeEnd_;
  Stack stack;
  // The compiler ends every method with a RETURN: it is not written.
  const bool ok = Block(start_, lastReturn_, 1, nullptr, stack, tree.body) && stack.empty();
  if (exhausted_) failure_ = "the method's jumps admit too many readings";
  if (!ok || !failure_.empty()) {
    tree.exact = false;
    tree.difference = failure_.empty() ? "the bytecode leaves values on the stack" : failure_;
  }
  return tree;
}

bool StackMachine::Fail(const std::string& why) {
  if (failure_.empty()) {
    static const char* hex = "0123456789ABCDEF";
    std::string at;
    for (int shift = 12; shift >= 0; shift -= 4) at += hex[(statementStart_ >> shift) & 0xF];
    failure_ = why + " (statement at object offset $" + at + ")";
  }
  return false;
}

std::int64_t StackMachine::Target(const SpinInstruction& in) {
  for (std::size_t i = 0; i < in.operandCount; ++i) {
    const SpinOperand& o = in.operands[i];
    if (o.kind == SpinOperandKind::JumpOffset || o.kind == SpinOperandKind::EffectJump) return o.end + o.value;
  }
  return -1;
}

// Instructions that end or shape a statement, never inside an expression.
bool StackMachine::Structural(const SpinInstruction& in) {
  switch (in.op) {
    case SpinOp::Jump: case SpinOp::CountStart: case SpinOp::CountRepeat: case SpinOp::JumpIfFalse:
    case SpinOp::JumpIfTrue: case SpinOp::CaseDone: case SpinOp::Case: case SpinOp::CaseRange:
    case SpinOp::PopStack: case SpinOp::Abort: case SpinOp::AbortValue: case SpinOp::Return:
    case SpinOp::ReturnValue:
      return true;
    default:
      return false;
  }
}

// The address of a byte of the object pushed as a string's (@ of a byte in
// the object, in the two-byte offset form).
bool StackMachine::StringPush(const SpinInstruction& in) const {
  const SpinVariable& v = in.variable;
  return in.op == SpinOp::Variable && v.base == SpinBase::Object && v.size == SpinSize::Byte &&
         v.access == SpinAccess::Address && !v.indexed;
}

int StackMachine::IndexAt(std::int64_t pc) const {
  if (pc < start_ || pc - start_ >= static_cast<std::int64_t>(startIndex_.size())) return -1;
  return startIndex_[static_cast<std::size_t>(pc - start_)];
}

const SpinInstruction* StackMachine::EndingAt(std::int64_t end) const {
  if (end < start_ || end - start_ >= static_cast<std::int64_t>(endIndex_.size())) return nullptr;
  const std::int32_t i = endIndex_[static_cast<std::size_t>(end - start_)];
  return i < 0 ? nullptr : &list_[static_cast<std::size_t>(i)];
}

const SpinInstruction* StackMachine::At(std::int64_t pc) const {
  const int i = IndexAt(pc);
  return i < 0 ? nullptr : &list_[static_cast<std::size_t>(i)];
}

Stmt& StackMachine::Emit(StmtKind kind, ExprRef expr) {
  Stmt s;
  s.kind = kind;
  s.offset = static_cast<std::int32_t>(statementStart_);
  s.expr = std::move(expr);
  out_->push_back(std::move(s));
  return out_->back();
}

bool StackMachine::TooLarge(const Stack& stack) const {
  if (stack.empty() || !stack.back().expr) return false;
  const Expr& top = *stack.back().expr;
  return top.weight > kLargestExpression || top.depth > kDeepestExpression;
}

// Decodes the code linearly: it ends where the method's first string starts,
// or at the last RETURN before the end.
bool StackMachine::Scan() {
  std::int64_t pc = start_;
  std::int64_t limit = end_;
  const auto view = bytes_.first(static_cast<std::size_t>(end_));
  list_.reserve(static_cast<std::size_t>(end_ - start_));
  startIndex_.assign(static_cast<std::size_t>(end_ - start_ + 1), -1);
  endIndex_.assign(static_cast<std::size_t>(end_ - start_ + 1), -1);
  while (pc < limit) {
    SpinInstruction in = DecodeSpin(view, pc);
    if (in.truncated || in.end > limit) return Fail("the bytecode runs off the method");
    if (StringPush(in)) {
      const SpinOperand* v = in.Find(SpinOperandKind::Variable);
      if (v && in.size() == 3 && v->value >= in.end && v->value < end_) limit = std::min<std::int64_t>(limit, v->value);
    }
    startIndex_[static_cast<std::size_t>(pc - start_)] = static_cast<std::int32_t>(list_.size());
    endIndex_[static_cast<std::size_t>(in.end - start_)] = static_cast<std::int32_t>(list_.size());
    list_.push_back(in);
    if (in.op == SpinOp::Return) {
      lastReturn_ = pc;
      // The rest up to the end of the object is padding when it is all zero.
      bool zeros = limit - in.end < 4;
      for (std::int64_t k = in.end; zeros && k < limit; ++k) zeros = bytes_[static_cast<std::size_t>(k)] == 0;
      if (zeros) {
        pc = in.end;
        limit = pc;
        break;
      }
    }
    pc = in.end;
  }
  if (pc != limit) return Fail("the code does not end on an instruction boundary");
  codeEnd_ = static_cast<std::int32_t>(limit);
  if (list_.empty() || list_.back().op != SpinOp::Return) return Fail("the method does not end with RETURN");
  stepBudget_ = 12 * static_cast<long>(list_.size()) + 200;
  lastReturn_ = list_.back().address;
  if (!ScanStrings()) return false;
  for (const SpinInstruction& in : list_) {
    const std::int64_t at = in.address;
    if (!CompilerForms(in)) return Fail("an operand in a form the compiler does not write");
    const std::int64_t target = Target(in);
    if (target < 0) continue;
    if (target < start_ || target > codeEnd_) return Fail("a jump leaves the method");
    if (target <= at && in.op != SpinOp::CountRepeat) backTargets_[target].push_back(at);
  }
  return true;
}

// The strings the code names fill the rest of the method, one after the
// other; at most the object's zero padding follows.
bool StackMachine::ScanStrings() {
  std::set<std::int64_t> strings;
  for (const SpinInstruction& in : list_) {
    const SpinOperand* v = in.Find(SpinOperandKind::Variable);
    if (StringPush(in) && v && in.size() == 3 && v->value >= codeEnd_ && v->value < end_) strings.insert(v->value);
  }
  std::int64_t p = codeEnd_;
  std::size_t visited = 0;
  while (p < end_ && strings.count(p)) {
    ++visited;
    while (p < end_ && bytes_[static_cast<std::size_t>(p)] != 0) ++p;
    ++p;
  }
  if (p > end_) return Fail("a string runs off the method");
  if (visited != strings.size()) return Fail("a string starts inside another");
  for (std::int64_t k = p; k < end_; ++k)
    if (bytes_[static_cast<std::size_t>(k)] != 0 || end_ - p >= 4) return Fail("bytes after the code that no string names");
  return true;
}

// Jump offsets and variable offsets take one byte whenever they fit (the
// compiler's choice); a string's address always takes two.
bool StackMachine::CompilerForms(const SpinInstruction& in) const {
  for (std::size_t i = 0; i < in.operandCount; ++i) {
    const SpinOperand& o = in.operands[i];
    const std::int64_t begin = i == 0 ? in.address + 1 : in.operands[i - 1].end;
    const std::int64_t bytes = o.end - begin;
    if (o.kind == SpinOperandKind::JumpOffset || o.kind == SpinOperandKind::EffectJump) {
      const bool fits = bytes == 1 ? o.value >= -64 && o.value <= 63 : o.value + 1 < -64 || o.value + 1 > 63;
      if (!fits) return false;
    } else if (o.kind == SpinOperandKind::Variable && in.op == SpinOp::Variable) {
      const bool string = StringPush(in) && bytes == 2 && o.value >= in.end && o.value < end_;
      if (!string && (bytes == 2) != (o.value > 0x7F)) return false;
    }
  }
  return true;
}

// Statements from..to into out; the stack may hold values left for the
// caller (a post-test condition, the repeat variable's bounds).
bool StackMachine::Block(std::int64_t from, std::int64_t to, int depth, Loop* loop, Stack& stack, StmtList& out) {
  Into into(out_, out, depth_, depth);
  // Bounds for bytes that are no compiled method: nesting and the work of
  // trying both readings of ambiguous jumps.
  if (depth > kDeepestBlock) return Fail("the blocks nest deeper than a source would");
  if (++blocks_ > stepBudget_) {
    exhausted_ = true;
    return Fail("the method's jumps admit too many readings");
  }
  std::int64_t pc = from;
  while (pc < to) {
    if (!failure_.empty()) return false;
    if (stack.empty()) {
      statementStart_ = pc;
      auto bt = backTargets_.find(pc);
      if (bt != backTargets_.end()) {
        std::int64_t source = -1;
        for (std::int64_t s : bt->second)
          if (s < to && s > source && !rejected_.count({pc, s})) source = s;
        if (source >= 0) {
          // A jump back to the start of the enclosing loop may be its next:
          // when no loop fits, the jump is read as next instead.
          const std::size_t statements = out_->size();
          const std::string savedFailure = failure_;
          std::int64_t after = pc;
          if (RepeatAt(pc, source, depth, after)) {
            pc = after;
            continue;
          }
          if (!loop || loop->next != pc || exhausted_) return false;
          out_->resize(statements);
          failure_ = savedFailure;
          rejected_.insert({pc, source});
          continue;
        }
      }
    }
    const SpinInstruction* in = At(pc);
    if (!in) return Fail("a jump lands inside an instruction");
    std::int64_t next = in->end;
    if (!Step(*in, stack, loop, to, next)) return false;
    if (TooLarge(stack)) return Fail("an expression larger than any source line");
    pc = next;
  }
  if (pc != to) return Fail("a block ends inside an instruction");
  return true;
}

// Where the values a loop leaves for its closing instruction start: the
// smallest instruction start from which from..to pushes exactly count values
// and writes no statement; -1 when none does.
std::int64_t StackMachine::TailStart(std::int64_t from, std::int64_t to, std::size_t count) {
  std::int64_t best = -1;
  int i = IndexAt(to);
  for (int tries = 0; tries < 400 && i > 0 && !exhausted_; ++tries) {
    --i;
    const std::int64_t at = list_[static_cast<std::size_t>(i)].address;
    if (at < from) break;
    bool wroteStatement = false;
    if (Values(at, to, count, &wroteStatement)) best = at;
    // An earlier start would take that statement in too.
    if (wroteStatement) break;
  }
  return best;
}

// A pure expression from..to: one value, no statements.
std::optional<ExprRef> StackMachine::Expression(std::int64_t from, std::int64_t to) {
  std::optional<Stack> values = Values(from, to, 1);
  if (!values) return std::nullopt;
  return values->front().expr;
}

// Pure expressions from..to: count values, no statements.
std::optional<Stack> StackMachine::Values(std::int64_t from, std::int64_t to, std::size_t count, bool* wroteStatement) {
  Stack stack;
  const std::size_t statements = out_->size();
  const std::string savedFailure = failure_;
  std::int64_t pc = from;
  while (pc < to) {
    const SpinInstruction* in = At(pc);
    if (!in || Structural(*in)) break;
    std::int64_t next = in->end;
    if (!Step(*in, stack, nullptr, to, next)) break;
    if (TooLarge(stack)) break;
    if (out_->size() != statements) {
      if (wroteStatement) *wroteStatement = true;
      break;
    }
    pc = next;
  }
  bool ok = failure_ == savedFailure && pc == to && out_->size() == statements && stack.size() == count;
  for (const Item& item : stack) ok = ok && item.kind == Item::Value && !item.Raw();
  out_->resize(statements);
  failure_ = savedFailure;
  if (!ok) return std::nullopt;
  return stack;
}

bool StackMachine::Step(const SpinInstruction& in, Stack& stack, Loop* loop, std::int64_t to, std::int64_t& next) {
  // Bytes that are no compiled method may admit many readings: the work
  // has a bound, far above what the largest compiled methods need.
  if (++steps_ > stepBudget_) {
    exhausted_ = true;
    return Fail("the method's jumps admit too many readings");
  }
  switch (in.op) {
    case SpinOp::FrameResult: case SpinOp::FrameNoResult: case SpinOp::FrameAbortTrap: case SpinOp::FrameIgnoreAbort: {
      Item a;
      a.kind = Item::Anchor;
      a.frame = in.op;
      stack.push_back(a);
      return true;
    }
    case SpinOp::Call: case SpinOp::CallObject: case SpinOp::CallObjectIndexed:
      return StepCall(in, stack);
    case SpinOp::Jump: case SpinOp::JumpIfTrue: {
      if (stack.empty()) {
        bool handled = false;
        LoopJump(in, loop, handled);
        if (handled) return true;
      }
      if (in.op == SpinOp::Jump) return Fail("a jump matches no structure");
      return IfAt(in, stack, loop, to, next);
    }
    case SpinOp::JumpIfFalse:
      return IfAt(in, stack, loop, to, next);
    case SpinOp::CountStart:
      return CountedLoop(in, stack, to, next);
    case SpinOp::Case: case SpinOp::CaseRange:
      return CaseAt(in, stack, loop, next);
    case SpinOp::Lookup: case SpinOp::LookDown: case SpinOp::LookupRange: case SpinOp::LookDownRange:
      return StepLookup(in, stack);
    case SpinOp::LookEnd:
      return StepLookupEnd(in, stack);
    case SpinOp::PopStack: {
      ExprRef n;
      if (!Pop(stack, n)) return false;
      const SpinInstruction* j = At(in.end);
      if (n->kind != ExprKind::Constant || !j || !stack.empty()) return Fail("a stack pop outside a loop jump");
      bool handled = false;
      LoopJump(*j, loop, handled);
      if (!handled) return Fail("a stack pop outside a loop jump");
      next = j->end;
      return true;
    }
    case SpinOp::Run:
      return StepCogRun(in, stack);
    case SpinOp::CogInitPush: case SpinOp::CogInit:
      return StepCogStart(in, stack);
    case SpinOp::Abort: case SpinOp::Return: {
      const bool abort = in.op == SpinOp::Abort;
      Emit(abort ? StmtKind::Abort : StmtKind::Return);
      return stack.empty() || Fail(abort ? "abort inside an expression" : "return inside an expression");
    }
    case SpinOp::AbortValue: case SpinOp::ReturnValue: {
      ExprRef v;
      if (!Pop(stack, v)) return false;
      if (!stack.empty()) return Fail("return inside an expression");
      Emit(in.op == SpinOp::AbortValue ? StmtKind::Abort : StmtKind::Return, v);
      return true;
    }
    case SpinOp::PushMinusOne: case SpinOp::PushZero: case SpinOp::PushOne: case SpinOp::PushPacked:
    case SpinOp::PushByte: case SpinOp::PushWord: case SpinOp::PushThreeBytes: case SpinOp::PushLong:
      return StepConstant(in, stack, next);
    case SpinOp::RegisterBit: case SpinOp::RegisterBits: case SpinOp::Register:
      return StepRegister(in, stack, next);
    case SpinOp::StrSize: case SpinOp::StrComp: case SpinOp::ByteFill: case SpinOp::WordFill:
    case SpinOp::LongFill: case SpinOp::WaitPeq: case SpinOp::ByteMove: case SpinOp::WordMove:
    case SpinOp::LongMove: case SpinOp::WaitPne: case SpinOp::ClkSet: case SpinOp::CogStop:
    case SpinOp::LockReturn: case SpinOp::WaitCnt: case SpinOp::SpecialRegister: case SpinOp::WaitVid:
    case SpinOp::LockNewPush: case SpinOp::LockSetPush: case SpinOp::LockClearPush: case SpinOp::LockNew:
    case SpinOp::LockSet: case SpinOp::LockClear:
      return StepBuiltin(in, stack);
    case SpinOp::VariableFast: case SpinOp::Variable:
      return StepVariable(in, stack);
    case SpinOp::Operator:
      return StepMath(in, stack);
    case SpinOp::CountRepeat: case SpinOp::CaseDone: case SpinOp::Undefined:
      break;
  }
  return Fail("an instruction the compiler does not write here");
}

}  // namespace brevin::recovery::spin
