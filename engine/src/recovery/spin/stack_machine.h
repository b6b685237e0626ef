// The working state of reading one method: the decoded instructions, the
// operand stack of nodes, the statement list being filled, and the failure
// that ends the reading. One handler per opcode family (stack_machine.cpp,
// operand_handlers.cpp) and one rule per control structure (structure_rules.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "brevin/spin_instruction.h"
#include "recovery/spin/method_tree.h"

namespace brevin::recovery::spin {

// What the operand stack holds: a value, a call's frame anchor, a lookup
// being built, or a method a cog is about to run.
struct Item {
  enum Kind { Value, Anchor, Look, Run } kind = Value;
  ExprRef expr;   // Value, Run
  SpinOp frame = SpinOp::FrameResult;  // Anchor: which FRAME
  // Look: the lookup being built.
  ExprRef primary;
  std::vector<ExprRef> values;
  bool down = false;
  bool zeroBased = false;
  std::int64_t doneAddress = 0;
  std::int32_t offset = 0;

  bool IsConstant() const { return kind == Value && expr && expr->kind == ExprKind::Constant; }
  std::int64_t ConstantValue() const { return expr->value; }
  bool Raw() const { return IsConstant() && expr->raw; }
};

using Stack = std::vector<Item>;

struct Loop {
  std::int64_t next = -1;  // -1 while unknown (the condition of a post-test loop)
  std::int64_t quit = -1;
  bool count = false;
};

class StackMachine {
 public:
  StackMachine(std::span<const std::uint8_t> bytes, std::int32_t start, std::int32_t end)
      : bytes_(bytes), start_(start), end_(end) {}

  MethodTree Run();

 private:
  // Reading (stack_machine.cpp).
  bool Scan();
  bool ScanStrings();
  bool CompilerForms(const SpinInstruction& in) const;
  bool Block(std::int64_t from, std::int64_t to, int depth, Loop* loop, Stack& stack, StmtList& out);
  bool Step(const SpinInstruction& in, Stack& stack, Loop* loop, std::int64_t to, std::int64_t& next);
  std::optional<ExprRef> Expression(std::int64_t from, std::int64_t to);
  std::optional<Stack> Values(std::int64_t from, std::int64_t to, std::size_t count, bool* wroteStatement = nullptr);
  std::int64_t TailStart(std::int64_t from, std::int64_t to, std::size_t count);

  // Operands (operand_handlers.cpp).
  bool Pop(Stack& stack, ExprRef& item, bool address = false);
  bool PopArgs(Stack& stack, std::size_t count, std::vector<ExprRef>& args);
  bool PopValueOrRange(Stack& stack, bool range, ExprRef& value);
  bool Push(Stack& stack, Expr node);
  bool Statement(Stack& stack, Expr node);
  bool StepCall(const SpinInstruction& in, Stack& stack);
  bool StepLookup(const SpinInstruction& in, Stack& stack);
  bool StepLookupEnd(const SpinInstruction& in, Stack& stack);
  bool StepCogRun(const SpinInstruction& in, Stack& stack);
  bool StepCogStart(const SpinInstruction& in, Stack& stack);
  bool StepBuiltin(const SpinInstruction& in, Stack& stack);
  bool StepConstant(const SpinInstruction& in, Stack& stack, std::int64_t& next);
  bool StepRegister(const SpinInstruction& in, Stack& stack, std::int64_t& next);
  bool StepVariable(const SpinInstruction& in, Stack& stack);
  bool StepMath(const SpinInstruction& in, Stack& stack);
  bool Builtin(const char* name, std::size_t args, bool returns, Stack& stack);
  bool VariableOf(const SpinInstruction& in, Stack& stack, Variable& variable);
  bool Access(const SpinInstruction& in, const Variable& target, Stack& stack);
  bool Effect(const SpinInstruction& in, int effect, const Variable& target, Stack& stack);
  bool CogInitMethod(const SpinInstruction& in, Stack& stack, std::int64_t& next);
  bool StringAt(std::int64_t at, std::string& bytes) const;

  // Structures (structure_rules.cpp).
  bool LoopJump(const SpinInstruction& in, Loop* loop, bool& handled);
  bool RepeatAt(std::int64_t pc, std::int64_t source, int depth, std::int64_t& after);
  bool RepeatFrom(std::int64_t pc, const SpinInstruction& j, bool step, int depth);
  bool CountedLoop(const SpinInstruction& in, Stack& stack, std::int64_t to, std::int64_t& next);
  bool IfAt(const SpinInstruction& in, Stack& stack, Loop* loop, std::int64_t to, std::int64_t& next);
  bool IfBlocks(const SpinInstruction& in, const ExprRef& cond, std::int64_t t, std::int64_t thenEnd,
                std::int64_t elseEnd, Loop* loop, std::int64_t& next);
  bool CaseAt(const SpinInstruction& first, Stack& stack, Loop* loop, std::int64_t& next);
  bool CaseValues(const SpinInstruction& first, const Stack& stack, std::vector<CaseBranch>& values,
                  std::vector<std::int64_t>& valueTargets, std::int64_t& pc);
  bool CaseBranchAt(CaseBranch& branch, std::int64_t stop, Loop* loop);

  // Helpers.
  bool Fail(const std::string& why);
  static std::int64_t Target(const SpinInstruction& in);
  static bool Structural(const SpinInstruction& in);
  bool StringPush(const SpinInstruction& in) const;
  int IndexAt(std::int64_t pc) const;
  const SpinInstruction* EndingAt(std::int64_t end) const;
  const SpinInstruction* At(std::int64_t pc) const;
  Stmt& Emit(StmtKind kind, ExprRef expr = nullptr);
  bool TooLarge(const Stack& stack) const;

  std::span<const std::uint8_t> bytes_;
  std::int32_t start_, end_;
  std::int32_t codeEnd_ = 0;
  std::int64_t lastReturn_ = 0;
  // The method's instructions in address order, and by offset from the
  // method's start the one that starts and the one that ends there (-1: none).
  std::vector<SpinInstruction> list_;
  std::vector<std::int32_t> startIndex_;
  std::vector<std::int32_t> endIndex_;
  std::map<std::int64_t, std::vector<std::int64_t>> backTargets_;
  StmtList* out_ = nullptr;  // the statement list being filled
  int depth_ = 1;            // of the block being filled
  std::set<std::pair<std::int64_t, std::int64_t>> rejected_;  // (start, back jump) read as no loop
  std::string failure_;
  long blocks_ = 0;  // blocks read so far, readings tried again included
  long steps_ = 0;         // instructions read so far, readings tried again included
  long stepBudget_ = 0;    // compiled methods need fewer than six steps an instruction
  bool exhausted_ = false; // the bound was reached: no reading is tried again
  std::int64_t statementStart_ = 0;
};

// Fills a statement list for the time of a nested block and puts the
// enclosing one back after.
class Into {
 public:
  Into(StmtList*& out, StmtList& inner, int& depth, int innerDepth)
      : out_(out), saved_(out), depth_(depth), savedDepth_(depth) {
    out = &inner;
    depth = innerDepth;
  }
  ~Into() {
    out_ = saved_;
    depth_ = savedDepth_;
  }
  Into(const Into&) = delete;
  Into& operator=(const Into&) = delete;

 private:
  StmtList*& out_;
  StmtList* saved_;
  int& depth_;
  int savedDepth_;
};

}  // namespace brevin::recovery::spin
