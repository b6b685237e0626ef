// One rule per control structure the compiler emits: next and quit, each
// repeat form, if/ifnot with else (and elseif, a rewrite of an else holding
// one if), and case with its branches and other.
#include "recovery/spin/stack_machine.h"

namespace brevin::recovery::spin {
namespace {

// The values an instruction's variable takes from the stack besides what it
// assigns: its index, a memory address, spr[]'s register, a register's bit or bits.
std::size_t PoppedBy(const SpinInstruction& in) {
  const SpinVariable& v = in.variable;
  switch (v.base) {
    case SpinBase::None: return 0;
    case SpinBase::Memory: return v.indexed ? 2 : 1;
    case SpinBase::SpecialRegister: return 1;
    case SpinBase::Register: return in.op == SpinOp::RegisterBits ? 2 : in.op == SpinOp::RegisterBit ? 1 : 0;
    default: return v.indexed ? 1 : 0;
  }
}

}  // namespace

// next or quit from inside a loop, with the case pops before it.
bool StackMachine::LoopJump(const SpinInstruction& in, Loop* loop, bool& handled) {
  handled = false;
  if (!loop) return true;
  const std::int64_t target = Target(in);
  if (in.op == SpinOp::Jump && target == loop->quit && !loop->count) {
    Emit(StmtKind::Quit);
    handled = true;
  } else if (in.op == SpinOp::JumpIfTrue && loop->count && target == loop->quit) {
    Emit(StmtKind::Quit);
    handled = true;
  } else if (in.op == SpinOp::Jump &&
             (target == loop->next || (loop->next < 0 && target > in.address && target < loop->quit))) {
    if (loop->next < 0) loop->next = target;
    Emit(StmtKind::Next);
    handled = true;
  }
  return true;
}

// A loop whose body runs from pc to the backward jump at source.
bool StackMachine::RepeatAt(std::int64_t pc, std::int64_t source, int depth, std::int64_t& after) {
  const SpinInstruction& j = *At(source);
  const std::int64_t quit = j.end;
  after = quit;
  Stack stack;
  if (j.op == SpinOp::Jump) {
    // A pre-test loop: the condition jumps past the back jump.
    for (auto i = static_cast<std::size_t>(IndexAt(pc)); i < list_.size() && list_[i].address < source; ++i) {
      const SpinInstruction& c = list_[i];
      if ((c.op == SpinOp::JumpIfFalse || c.op == SpinOp::JumpIfTrue) && Target(c) == quit) {
        std::optional<ExprRef> cond = Expression(pc, c.address);
        if (!cond) break;
        statementStart_ = pc;
        Stmt loopStmt;
        loopStmt.kind = StmtKind::RepeatPre;
        loopStmt.offset = static_cast<std::int32_t>(pc);
        loopStmt.expr = *cond;
        loopStmt.negated = c.op == SpinOp::JumpIfTrue;
        loopStmt.closeOffset = static_cast<std::int32_t>(source);
        Loop loop{pc, quit, false};
        const bool ok = Block(c.end, source, depth + 1, &loop, stack, loopStmt.body);
        out_->push_back(std::move(loopStmt));
        if (!ok) return false;
        return stack.empty() || Fail("a loop body leaves values on the stack");
      }
    }
    Stmt loopStmt;
    loopStmt.kind = StmtKind::Repeat;
    loopStmt.offset = static_cast<std::int32_t>(statementStart_);
    loopStmt.closeOffset = static_cast<std::int32_t>(source);
    Loop loop{pc, quit, false};
    const bool ok = Block(pc, source, depth + 1, &loop, stack, loopStmt.body);
    out_->push_back(std::move(loopStmt));
    if (!ok) return false;
    return stack.empty() || Fail("a loop body leaves values on the stack");
  }
  if (j.op == SpinOp::JumpIfFalse || j.op == SpinOp::JumpIfTrue) {
    Stmt loopStmt;
    loopStmt.kind = StmtKind::RepeatPost;
    loopStmt.offset = static_cast<std::int32_t>(statementStart_);
    loopStmt.negated = j.op == SpinOp::JumpIfFalse;  // jump back while false: until
    Loop loop{TailStart(pc, source, 1), quit, false};
    const bool ok = Block(pc, source, depth + 1, &loop, stack, loopStmt.body);
    loopStmt.tailOffset = static_cast<std::int32_t>(loop.next >= 0 ? loop.next : source);
    if (ok && stack.size() == 1 && stack[0].kind == Item::Value && !stack[0].Raw()) loopStmt.expr = stack[0].expr;
    out_->push_back(std::move(loopStmt));
    if (!ok) return false;
    if (!out_->back().expr) return Fail("a post-test loop has no condition");
    statementStart_ = out_->back().tailOffset;
    return true;
  }
  const SpinOperand* effect = j.Find(SpinOperandKind::Effect);
  if (effect && ((effect->value & 0xFB) == 0x02)) return RepeatFrom(pc, j, (effect->value & 0x04) != 0, depth);
  return Fail("a backward jump matches no loop the compiler writes");
}

// repeat var from a to b [step c]: the statement before the loop set the
// variable to its start value; the loop's own instruction takes the bounds.
bool StackMachine::RepeatFrom(std::int64_t pc, const SpinInstruction& j, bool step, int depth) {
  const std::int64_t source = j.address;
  const std::int64_t quit = j.end;
  if (out_->empty()) return Fail("a repeat variable loop has no start");
  const Stmt setter = out_->back();
  const bool assigns = setter.kind == StmtKind::Do && setter.expr && setter.expr->kind == ExprKind::Effect &&
                       setter.expr->op == 0 && !setter.expr->push && setter.expr->operands.size() == 1;
  if (!assigns) return Fail("a repeat variable loop has no start");
  out_->pop_back();
  Stmt loopStmt;
  loopStmt.kind = StmtKind::RepeatFrom;
  loopStmt.offset = setter.offset;
  statementStart_ = setter.offset;
  // Puts the start back when the reading fails: another reading may take it.
  const auto fail = [&](const char* why) {
    out_->push_back(setter);
    return Fail(why);
  };
  const std::size_t left = (step ? 3 : 2) + PoppedBy(j);
  Loop loop{TailStart(pc, source, left), quit, false};
  Stack stack;
  if (!Block(pc, source, depth + 1, &loop, stack, loopStmt.body)) return fail("a repeat variable loop's body differs");
  loopStmt.closeOffset = static_cast<std::int32_t>(loop.next);  // the bounds pushed again, then the loop's instruction
  // The loop's own instruction: the variable with its index, then the effect.
  if (!VariableOf(j, stack, loopStmt.var)) return fail("a repeat variable loop names no variable");
  if (!Pop(stack, loopStmt.to) || !Pop(stack, loopStmt.from)) return fail("a repeat variable loop without its bounds");
  if (step && !Pop(stack, loopStmt.step)) return fail("a repeat variable loop without its step");
  if (!stack.empty()) return fail("a repeat variable loop leaves values on the stack");
  if (!setter.expr->variable.Same(loopStmt.var) || !setter.expr->operands[0]->Same(*loopStmt.from))
    return fail("a repeat variable loop starts differently");
  out_->push_back(std::move(loopStmt));
  return true;
}

// repeat count: the count, then a loop closed by DJNZ back to its start.
bool StackMachine::CountedLoop(const SpinInstruction& in, Stack& stack, std::int64_t to, std::int64_t& next) {
  ExprRef count;
  if (!Pop(stack, count)) return false;
  if (!stack.empty()) return Fail("a counted loop inside an expression");
  const std::int64_t quit = Target(in);
  const SpinInstruction* djnz = quit > in.end && quit <= to ? EndingAt(quit) : nullptr;
  if (!djnz || djnz->op != SpinOp::CountRepeat || Target(*djnz) != in.end) return Fail("a counted loop without its closing jump");
  Stmt loopStmt;
  loopStmt.kind = StmtKind::RepeatCount;
  loopStmt.offset = static_cast<std::int32_t>(statementStart_);
  loopStmt.closeOffset = static_cast<std::int32_t>(djnz->address);
  loopStmt.expr = count;
  Loop inner{djnz->address, quit, true};
  Stack body;
  const bool ok = Block(in.end, djnz->address, depth_ + 1, &inner, body, loopStmt.body);
  out_->push_back(std::move(loopStmt));
  if (!ok) return false;
  if (!body.empty()) return Fail("a loop body leaves values on the stack");
  next = quit;
  return true;
}

bool StackMachine::IfAt(const SpinInstruction& in, Stack& stack, Loop* loop, std::int64_t to, std::int64_t& next) {
  ExprRef cond;
  if (!Pop(stack, cond)) return false;
  if (!stack.empty()) return Fail("a condition inside an expression");
  const std::int64_t t = Target(in);
  if (t <= in.address || t > to) return Fail("a conditional jump matches no structure");
  std::int64_t thenEnd = t;
  std::int64_t elseEnd = -1;
  const SpinInstruction* before = EndingAt(t);
  if (before && before->address >= in.end) {
    const SpinInstruction& j = *before;
    const std::int64_t e = Target(j);
    // A jump to the loop's quit is quit; one forward to its next (the end
    // of the body) reads best as the end of an else, and gives the same bytes.
    const bool quitJump = loop && e == loop->quit;
    // (An if holding only the jump reads best as "if ... next".)
    const bool backJump = loop && e == loop->next && (e < t || j.address == in.end);
    if (j.op == SpinOp::Jump && e >= t && e <= to && !quitJump && !backJump) {
      thenEnd = j.address;
      elseEnd = e;
    }
  }
  const std::size_t statements = out_->size();
  const std::string savedFailure = failure_;
  const std::int64_t start = statementStart_;
  if (IfBlocks(in, cond, t, thenEnd, elseEnd, loop, next)) return true;
  if (exhausted_ || (elseEnd != t && !(loop && elseEnd == loop->next))) return false;
  // An empty else and the closing jump of an inner if look the same: read it
  // as the inner if's when the else does not fit.
  out_->resize(statements);
  failure_ = savedFailure;
  statementStart_ = start;
  return IfBlocks(in, cond, t, t, -1, loop, next);
}

bool StackMachine::IfBlocks(const SpinInstruction& in, const ExprRef& cond, std::int64_t t, std::int64_t thenEnd,
                            std::int64_t elseEnd, Loop* loop, std::int64_t& next) {
  Stmt ifStmt;
  ifStmt.kind = StmtKind::If;
  ifStmt.offset = static_cast<std::int32_t>(statementStart_);
  ifStmt.expr = cond;
  ifStmt.negated = in.op != SpinOp::JumpIfFalse;
  Stack inner;
  const int depth = depth_;
  bool ok = Block(in.end, thenEnd, depth + 1, loop, inner, ifStmt.body) && inner.empty();
  next = t;
  if (ok && elseEnd >= 0) {
    statementStart_ = t;
    ifStmt.hasElse = true;
    ifStmt.elseOffset = static_cast<std::int32_t>(t);
    ok = Block(t, elseEnd, depth + 1, loop, inner, ifStmt.elseBody) && inner.empty();
    if (!ok) {
      out_->push_back(std::move(ifStmt));
      return Fail("an else block leaves values");
    }
    // An else holding only an if is an elseif.
    ifStmt.elseIf = ifStmt.elseBody.size() == 1 && ifStmt.elseBody[0].kind == StmtKind::If;
    next = elseEnd;
  }
  out_->push_back(std::move(ifStmt));
  return ok || Fail("an if block leaves values");
}

// The values of a case: the first ends in first; further ones are pure
// expressions ending in CASE or CASER. pc is left after the last.
bool StackMachine::CaseValues(const SpinInstruction& first, const Stack& start, std::vector<CaseBranch>& values,
                              std::vector<std::int64_t>& valueTargets, std::int64_t& pc) {
  const auto take = [&](const SpinInstruction& in, Stack& s) -> bool {
    ExprRef v;
    if (!PopValueOrRange(s, in.op == SpinOp::CaseRange, v)) return false;
    CaseBranch b;
    b.values.push_back(v);
    values.push_back(std::move(b));
    valueTargets.push_back(Target(in));
    return true;
  };
  Stack stack = start;
  if (!take(first, stack)) return false;
  pc = first.end;
  const std::size_t base = stack.size();
  for (;;) {
    std::int64_t p = pc;
    Stack s = stack;
    const std::size_t statements = out_->size();
    const std::string savedFailure = failure_;
    bool found = false;
    while (p < codeEnd_) {
      const SpinInstruction* in = At(p);
      if (!in) break;
      if (in->op == SpinOp::Case || in->op == SpinOp::CaseRange) {
        const std::size_t need = in->op == SpinOp::Case ? 1 : 2;
        if (s.size() == base + need && out_->size() == statements && failure_ == savedFailure) {
          found = take(*in, s);
          p = in->end;
        }
        break;
      }
      if (Structural(*in)) break;
      std::int64_t n = in->end;
      if (!Step(*in, s, nullptr, codeEnd_, n)) break;
      if (TooLarge(s)) break;
      if (out_->size() != statements) break;
      p = n;
    }
    out_->resize(statements);
    failure_ = savedFailure;
    if (!found) break;
    pc = p;
  }
  return true;
}

bool StackMachine::CaseAt(const SpinInstruction& first, Stack& stack, Loop* loop, std::int64_t& next) {
  std::vector<CaseBranch> values;
  std::vector<std::int64_t> valueTargets;
  std::int64_t pc = first.end;
  Stack below(stack.begin(), stack.end());
  if (!CaseValues(first, below, values, valueTargets, pc)) return false;
  if (stack.size() != (first.op == SpinOp::Case ? 3u : 4u)) return Fail("a case inside an expression");
  const Item done = stack[0];
  const Item subject = stack[1];
  if (!done.IsConstant()) return Fail("a case without its end address");
  if (subject.kind != Item::Value || subject.Raw()) return Fail("a constant in a form the compiler does not write");
  stack.clear();
  // Branches: values with the same target share one.
  std::vector<CaseBranch> branches;
  std::vector<std::int64_t> targets;
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (targets.empty() || targets.back() != valueTargets[k]) {
      targets.push_back(valueTargets[k]);
      branches.emplace_back();
      branches.back().offset = static_cast<std::int32_t>(valueTargets[k]);
    }
    branches.back().values.push_back(values[k].values[0]);
  }
  for (std::size_t k = 1; k < targets.size(); ++k)
    if (targets[k] <= targets[k - 1]) return Fail("case branches out of order");
  const std::int64_t end = done.ConstantValue();
  // Each branch, and the whole case, ends with a CASEDONE.
  const auto afterCaseDone = [&](std::int64_t a) {
    const SpinInstruction* before = EndingAt(a);
    return before && before->op == SpinOp::CaseDone;
  };
  if (targets.front() <= pc || end <= targets.back() || !afterCaseDone(targets.front()) || !afterCaseDone(end))
    return Fail("a case whose layout the compiler does not write");
  Stmt caseStmt;
  caseStmt.kind = StmtKind::Case;
  caseStmt.offset = static_cast<std::int32_t>(statementStart_);
  caseStmt.expr = subject.expr;
  // other: from after the values to the CASEDONE before the first branch.
  if (pc < targets.front() - 1) {
    statementStart_ = pc;
    caseStmt.hasElse = true;
    caseStmt.elseOffset = static_cast<std::int32_t>(pc);
    Stack inner;
    if (!Block(pc, targets.front() - 1, depth_ + 2, loop, inner, caseStmt.elseBody) || !inner.empty()) {
      out_->push_back(std::move(caseStmt));
      return Fail("a case's other block leaves values");
    }
  } else if (At(pc) == nullptr || At(pc)->op != SpinOp::CaseDone) {
    return Fail("a case without its end");
  }
  bool ok = true;
  for (std::size_t k = 0; k < branches.size() && ok; ++k) {
    const std::int64_t stop = (k + 1 < targets.size() ? targets[k + 1] : end) - 1;
    ok = CaseBranchAt(branches[k], stop, loop);
    caseStmt.branches.push_back(std::move(branches[k]));
  }
  out_->push_back(std::move(caseStmt));
  if (!ok) return false;
  next = end;
  return true;
}

// One branch of a case, from its target to the CASEDONE that ends it.
bool StackMachine::CaseBranchAt(CaseBranch& branch, std::int64_t stop, Loop* loop) {
  const SpinInstruction* done = At(stop);
  if (!done || done->op != SpinOp::CaseDone) return Fail("a case branch without its end");
  statementStart_ = branch.offset;
  Stack inner;
  if (!Block(branch.offset, stop, depth_ + 2, loop, inner, branch.body) || !inner.empty())
    return Fail("a case branch leaves values");
  return true;
}

}  // namespace brevin::recovery::spin
