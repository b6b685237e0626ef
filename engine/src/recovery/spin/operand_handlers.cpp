// The stack machine's handlers, one per opcode family: calls, lookups, cog
// starts, the interpreter's built-ins, constants, registers, variables and
// math. Each pops its operands as nodes and pushes a node or writes a statement.
#include <bit>

#include "recovery/spin/constant_form.h"
#include "recovery/spin/stack_machine.h"

namespace brevin::recovery::spin {
namespace {

// Binding level of a binary math operator; 0 when the operator is no binary one.
int BinaryLevel(int op) {
  switch (op) {
    case 0x00: case 0x01: case 0x02: case 0x03: case 0x0E: case 0x0F: return 1;
    case 0x08: return 2;
    case 0x0A: case 0x0B: return 3;
    case 0x14: case 0x15: case 0x16: case 0x17: return 4;
    case 0x0C: case 0x0D: return 5;
    case 0x04: case 0x05: return 6;
    case 0x19: case 0x1A: case 0x1B: case 0x1C: case 0x1D: case 0x1E: return 7;
    case 0x10: return 9;
    case 0x12: return 10;
    default: return 0;
  }
}

bool IsUnary(int op) {
  return op == 0x06 || op == 0x07 || op == 0x09 || op == 0x11 || op == 0x13 || op == 0x18 || op == 0x1F;
}

const char* RegisterName(int reg) {
  static const char* const names[16] = {"par",  "cnt",  "ina",  "inb",  "outa", "outb", "dira", "dirb",
                                        "ctra", "ctrb", "frqa", "frqb", "phsa", "phsb", "vcfg", "vscl"};
  return reg >= 0x10 && reg < 0x20 ? names[reg - 0x10] : nullptr;
}

// The size bits an increment or decrement of this access carries.
int SizeBits(const SpinInstruction& in) {
  const int op = static_cast<int>(in.opcode);
  if (op >= 0x40 && op < 0x80) return 6;
  if (op >= 0x80 && op < 0xE0) return ((((op >> 5) & 3) + 1) & 3) << 1;
  if (op == 0x3F || op == 0x26) return 6;
  return 0;  // a register with a bit index or range
}

}  // namespace

bool StackMachine::Pop(Stack& stack, ExprRef& item, bool address) {
  if (stack.empty() || stack.back().kind != Item::Value) return Fail("an operand is missing");
  if (stack.back().Raw() && !address) return Fail("a constant in a form the compiler does not write");
  item = std::move(stack.back().expr);
  stack.pop_back();
  return true;
}

// A value of a case or lookup, or low..high when the instruction takes a range.
bool StackMachine::PopValueOrRange(Stack& stack, bool range, ExprRef& value) {
  if (!Pop(stack, value)) return false;
  if (!range) return true;
  Expr node;
  node.kind = ExprKind::Range;
  node.operands.resize(2);
  if (!Pop(stack, node.operands[0])) return false;
  node.offset = node.operands[0]->offset;
  node.operands[1] = value;
  value = MakeExpr(std::move(node));
  return true;
}

bool StackMachine::PopArgs(Stack& stack, std::size_t count, std::vector<ExprRef>& args) {
  args.assign(count, {});
  for (std::size_t i = count; i-- > 0;)
    if (!Pop(stack, args[i])) return false;
  return true;
}

bool StackMachine::Push(Stack& stack, Expr node) {
  Item item;
  item.expr = MakeExpr(std::move(node));
  stack.push_back(std::move(item));
  return true;
}

// A node that is a whole statement: nothing else may be on the stack.
bool StackMachine::Statement(Stack& stack, Expr node) {
  if (!stack.empty()) return Fail("a statement inside an expression");
  Emit(StmtKind::Do, MakeExpr(std::move(node)));
  return true;
}

bool StackMachine::StepCall(const SpinInstruction& in, Stack& stack) {
  const int op = static_cast<int>(in.opcode);
  Expr call;
  call.kind = ExprKind::Call;
  call.offset = static_cast<std::int32_t>(in.address);
  if (op == 0x07 && !Pop(stack, call.callee.index)) return false;
  std::vector<ExprRef> args;
  while (!stack.empty() && stack.back().kind == Item::Value) {
    if (stack.back().Raw()) return Fail("a constant in a form the compiler does not write");
    args.insert(args.begin(), stack.back().expr);
    stack.pop_back();
  }
  if (stack.empty() || stack.back().kind != Item::Anchor) return Fail("a call without its frame");
  const int anchor = stack.back().anchor;
  stack.pop_back();
  if (op == 0x05) {
    call.callee.method = static_cast<int>(in.Find(SpinOperandKind::MethodIndex)->value);
  } else {
    call.callee.child = true;
    call.callee.entry = static_cast<int>(in.Find(SpinOperandKind::ObjectIndex)->value);
    call.callee.method = static_cast<int>(in.Find(SpinOperandKind::ObjectMethod)->value);
  }
  call.callee.abortTrap = anchor >= 2 ? 1 : 0;
  call.operands = std::move(args);
  if (anchor == 0 || anchor == 2) return Push(stack, std::move(call));
  return Statement(stack, std::move(call));
}

bool StackMachine::StepLookup(const SpinInstruction& in, Stack& stack) {
  const int op = static_cast<int>(in.opcode);
  ExprRef value;
  if (!PopValueOrRange(stack, (op & 2) != 0, value)) return false;
  if (!stack.empty() && stack.back().kind == Item::Look) {
    if (stack.back().down != ((op & 1) != 0)) return Fail("a lookup mixes lookup and lookdown");
    stack.back().values.push_back(value);
    return true;
  }
  ExprRef primary, done, zero;
  if (!Pop(stack, primary) || !Pop(stack, done, true) || !Pop(stack, zero)) return false;
  if (done->kind != ExprKind::Constant || zero->kind != ExprKind::Constant || (zero->value != 0 && zero->value != 1))
    return Fail("a lookup without its start");
  Item look;
  look.kind = Item::Look;
  look.primary = primary;
  look.values.push_back(value);
  look.down = (op & 1) != 0;
  look.zeroBased = zero->value == 0;
  look.doneAddress = done->value;
  look.offset = zero->offset;
  stack.push_back(std::move(look));
  return true;
}

bool StackMachine::StepLookupEnd(const SpinInstruction& in, Stack& stack) {
  if (stack.empty() || stack.back().kind != Item::Look) return Fail("a lookup end without its start");
  Item look = std::move(stack.back());
  stack.pop_back();
  if (look.doneAddress != in.end) return Fail("a lookup's end address differs");
  Expr node;
  node.kind = ExprKind::Lookup;
  node.offset = look.offset;
  node.down = look.down;
  node.zeroBased = look.zeroBased;
  node.operands.push_back(look.primary);
  node.operands.insert(node.operands.end(), look.values.begin(), look.values.end());
  return Push(stack, std::move(node));
}

// The method a cog will run, with its arguments and stack, waiting for its COGINIT.
bool StackMachine::StepCogRun(const SpinInstruction& in, Stack& stack) {
  ExprRef stackExpr, method;
  if (!Pop(stack, stackExpr) || !Pop(stack, method)) return false;
  if (method->kind != ExprKind::Constant) return Fail("a cog start without its method");
  const int index = static_cast<int>(method->value & 0xFF);
  const auto count = static_cast<std::size_t>((method->value >> 8) & 0xFF);
  Expr run;
  run.kind = ExprKind::CogRun;
  run.offset = static_cast<std::int32_t>(in.address);
  run.callee.method = index;
  if (!PopArgs(stack, count, run.operands)) return false;
  if (!run.operands.empty()) run.offset = run.operands.front()->offset;
  run.operands.push_back(stackExpr);
  Item item;
  item.kind = Item::Run;
  item.expr = MakeExpr(std::move(run));
  stack.push_back(std::move(item));
  return true;
}

// cognew and coginit, of a Spin method (after RUN) or of assembly.
bool StackMachine::StepCogStart(const SpinInstruction& in, Stack& stack) {
  const bool push = in.opcode == 0x28;
  Expr node;
  node.kind = ExprKind::Builtin;
  node.offset = static_cast<std::int32_t>(in.address);
  if (!stack.empty() && stack.back().kind == Item::Run) {
    node.name = "cognew";
    node.operands = {stack.back().expr};
    stack.pop_back();
  } else {
    if (!PopArgs(stack, 3, node.operands)) return false;
    const ExprRef& id = node.operands[0];
    if (id->kind == ExprKind::Constant && id->value == -1) {
      node.name = "cognew";
      node.operands.erase(node.operands.begin());
    } else {
      node.name = "coginit";
    }
  }
  if (!node.operands.empty()) node.offset = node.operands.front()->offset;
  return push ? Push(stack, std::move(node)) : Statement(stack, std::move(node));
}

bool StackMachine::Builtin(const char* name, std::size_t args, bool returns, Stack& stack) {
  Expr node;
  node.kind = ExprKind::Builtin;
  node.name = name;
  if (!PopArgs(stack, args, node.operands)) return false;
  node.offset = node.operands.empty() ? static_cast<std::int32_t>(statementStart_) : node.operands.front()->offset;
  return returns ? Push(stack, std::move(node)) : Statement(stack, std::move(node));
}

bool StackMachine::StepBuiltin(const SpinInstruction& in, Stack& stack) {
  const int op = static_cast<int>(in.opcode);
  switch (op) {
    case 0x16: return Builtin("strsize", 1, true, stack);
    case 0x17: return Builtin("strcomp", 2, true, stack);
    case 0x18: return Builtin("bytefill", 3, false, stack);
    case 0x19: return Builtin("wordfill", 3, false, stack);
    case 0x1A: return Builtin("longfill", 3, false, stack);
    case 0x1B: return Builtin("waitpeq", 3, false, stack);
    case 0x1C: return Builtin("bytemove", 3, false, stack);
    case 0x1D: return Builtin("wordmove", 3, false, stack);
    case 0x1E: return Builtin("longmove", 3, false, stack);
    case 0x1F: return Builtin("waitpne", 3, false, stack);
    case 0x20: {
      // reboot is clkset($80, 0).
      if (stack.size() >= 2 && stack[stack.size() - 2].IsConstant() && stack[stack.size() - 2].ConstantValue() == 0x80 &&
          stack.back().IsConstant() && stack.back().ConstantValue() == 0) {
        stack.resize(stack.size() - 2);
        return Builtin("reboot", 0, false, stack);
      }
      return Builtin("clkset", 2, false, stack);
    }
    case 0x21: return Builtin("cogstop", 1, false, stack);
    case 0x22: return Builtin("lockret", 1, false, stack);
    case 0x23: return Builtin("waitcnt", 1, false, stack);
    case 0x24: case 0x25: case 0x26: {
      Variable spr;
      spr.place = Place::Spr;
      if (!Pop(stack, spr.base)) return false;
      return Access(in, op - 0x24, spr, stack);
    }
    case 0x27: return Builtin("waitvid", 2, false, stack);
    case 0x29: return Builtin("locknew", 0, true, stack);
    case 0x2A: return Builtin("lockset", 1, true, stack);
    case 0x2B: return Builtin("lockclr", 1, true, stack);
    case 0x2D: return Builtin("locknew", 0, false, stack);
    case 0x2E: return Builtin("lockset", 1, false, stack);
    case 0x2F: return Builtin("lockclr", 1, false, stack);
    default: return Fail("an instruction the compiler does not write here");
  }
}

bool StackMachine::StepConstant(const SpinInstruction& in, Stack& stack, std::int64_t& next) {
  const int op = static_cast<int>(in.opcode);
  std::int64_t value = op <= 0x36 ? op - 0x35 : in.Find(SpinOperandKind::Constant)->value;
  value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  std::vector<std::uint8_t> actual(bytes_.begin() + in.address, bytes_.begin() + in.end);
  // The compiler writes a constant with all high bits set as its complement and NOT.
  const SpinInstruction* after = At(in.end);
  if ((op == 0x38 || op == 0x39) && after && after->opcode == 0xE7) {
    const std::int64_t folded = static_cast<std::int32_t>(~static_cast<std::uint32_t>(value));
    std::vector<std::uint8_t> both = actual;
    both.push_back(0xE7);
    if (ConstantBytes(folded) == both) {
      value = folded;
      next = after->end;
      actual = both;
    }
  }
  Expr node;
  node.offset = static_cast<std::int32_t>(in.address);
  if (op == 0x38 && value == 4 && after && after->opcode == 0x80) {
    node.kind = ExprKind::Special;
    node.name = "clkmode";
    next = after->end;
    return Push(stack, std::move(node));
  }
  node.kind = ExprKind::Constant;
  node.value = value;
  // The end address of a case or lookup is written in the long form.
  node.raw = ConstantBytes(value) != actual;
  if (node.raw && op != 0x38 && op != 0x39) return Fail("a constant in a form the compiler does not write");
  return Push(stack, std::move(node));
}

bool StackMachine::StepRegister(const SpinInstruction& in, Stack& stack, std::int64_t& next) {
  const int op = static_cast<int>(in.opcode);
  const SpinOperand* r = in.Find(SpinOperandKind::Register);
  if (!r) return Fail("a register operation without its register");
  const int rb = static_cast<int>(r->value);
  const int access = (rb >> 5) & 3;
  const int reg = rb & 0x1F;
  if (op == 0x3F && rb == 0x89) {
    Expr node;
    node.kind = ExprKind::Special;
    node.name = "cogid";
    node.offset = static_cast<std::int32_t>(in.address);
    return Push(stack, std::move(node));
  }
  if (op == 0x3F && rb == 0x8F) return CogInitMethod(in, stack, next);
  if (!RegisterName(reg) || access == 3 || (rb & 0x80) == 0) return Fail("a register the compiler does not name");
  Variable target;
  target.place = Place::Register;
  target.offset = reg;
  if (op == 0x3D) {
    if (!Pop(stack, target.bitHigh)) return false;
  } else if (op == 0x3E) {
    if (!Pop(stack, target.bitLow) || !Pop(stack, target.bitHigh)) return false;
  }
  return Access(in, access, target, stack);
}

// The variable an access instruction names, popping its index and, for
// byte[]/word[]/long[], its base address.
bool StackMachine::VariableOf(const SpinInstruction& in, Stack& stack, Variable& variable) {
  const int op = static_cast<int>(in.opcode);
  if (op >= 0x40 && op < 0x80) {
    variable.place = (op & 0x20) ? Place::Local : Place::Var;
    variable.offset = op & 0x1C;
    variable.size = 4;
    variable.compact = true;
    return true;
  }
  const int size = (op >> 5) & 3;
  const bool indexed = (op & 0x10) != 0;
  const int where = (op >> 2) & 3;
  if (indexed && !Pop(stack, variable.index)) return false;
  const SpinOperand* v = in.Find(SpinOperandKind::Variable);
  variable.offset = static_cast<std::int32_t>(v ? v->value : 0);
  variable.size = 1 << size;
  switch (where) {
    case 0:
      variable.place = Place::Memory;
      variable.offset = 0;
      return Pop(stack, variable.base);
    case 1:
      variable.place = Place::Dat;
      return true;
    case 2:
      variable.place = Place::Var;
      if (!indexed && size == 2 && variable.offset < 32) return Fail("a long variable is accessed in the long form");
      return true;
    default:
      variable.place = Place::Local;
      if ((variable.offset & 3) != 0) return Fail("a local is accessed off its long");
      if (!indexed && size == 2 && variable.offset < 32) return Fail("a long local is accessed in the long form");
      return true;
  }
}

bool StackMachine::StepVariable(const SpinInstruction& in, Stack& stack) {
  const int op = static_cast<int>(in.opcode);
  const int access = op & 3;
  const int where = op >= 0x80 ? (op >> 2) & 3 : -1;
  const SpinOperand* v = in.Find(SpinOperandKind::Variable);
  Expr node;
  node.offset = static_cast<std::int32_t>(in.address);
  if (op == 0x97 && v && v->value == 0) {
    node.kind = ExprKind::AbsoluteOf;
    if (!Pop(stack, node.operands.emplace_back())) return false;
    node.offset = node.operands[0]->offset;
    return Push(stack, std::move(node));
  }
  if (where == 1 && access == 3 && op == 0x87 && v && v->value >= codeEnd_ && v->value < end_) {
    node.kind = ExprKind::String;
    if (!StringAt(v->value, node.bytes)) return Fail("a string without its end");
    return Push(stack, std::move(node));
  }
  if (where == 0 && access == 0 && op != 0x90 && op != 0xB0 && op != 0xD0 && !stack.empty() &&
      stack.back().IsConstant() && !(op & 0x10)) {
    // clkfreq and chipver read fixed hub places.
    const std::int64_t a = stack.back().ConstantValue();
    const char* special = op == 0xC0 && a == 0 ? "clkfreq" : op == 0x80 && a == -1 ? "chipver" : nullptr;
    if (special) {
      node.kind = ExprKind::Special;
      node.name = special;
      node.offset = stack.back().expr->offset;
      stack.pop_back();
      return Push(stack, std::move(node));
    }
  }
  Variable target;
  if (!VariableOf(in, stack, target)) return false;
  return Access(in, access, target, stack);
}

bool StackMachine::StepMath(const SpinInstruction& in, Stack& stack) {
  const int mathOp = static_cast<int>(in.opcode) & 0x1F;
  Expr node;
  node.op = mathOp;
  if (IsUnary(mathOp)) {
    node.kind = ExprKind::Unary;
    node.level = mathOp == 0x1F ? kNot : kTerm;
    if (!Pop(stack, node.operands.emplace_back())) return false;
    node.offset = node.operands[0]->offset;
    return Push(stack, std::move(node));
  }
  const int level = BinaryLevel(mathOp);
  if (level == 0) return Fail("an unknown operator");
  node.kind = ExprKind::Binary;
  node.level = level;
  node.operands.resize(2);
  if (!Pop(stack, node.operands[1]) || !Pop(stack, node.operands[0])) return false;
  node.offset = node.operands[0]->offset;
  return Push(stack, std::move(node));
}

// push, pop, USING or address of a named target.
bool StackMachine::Access(const SpinInstruction& in, int access, const Variable& target, Stack& stack) {
  Expr node;
  node.offset = static_cast<std::int32_t>(in.address);
  node.variable = target;
  switch (access) {
    case 0:
      node.kind = ExprKind::Read;
      return Push(stack, std::move(node));
    case 1: {
      node.kind = ExprKind::Effect;
      node.op = 0;
      if (!Pop(stack, node.operands.emplace_back())) return false;
      if (!stack.empty()) return Fail("an assignment inside an expression without push");
      node.level = kAssign;
      return Statement(stack, std::move(node));
    }
    case 2: {
      const SpinOperand* e = in.Find(SpinOperandKind::Effect);
      if (!e) return Fail("an assignment without its effect");
      return Effect(in, static_cast<int>(e->value), target, stack);
    }
    default:
      node.kind = ExprKind::AddressOf;
      return Push(stack, std::move(node));
  }
}

// An assignment through the effect byte.
bool StackMachine::Effect(const SpinInstruction& in, int effect, const Variable& target, Stack& stack) {
  Expr node;
  node.kind = ExprKind::Effect;
  node.offset = static_cast<std::int32_t>(in.address);
  node.variable = target;
  node.push = (effect & 0x80) != 0;
  const int e = effect & 0x7F;
  node.op = e;
  if (e >= 0x60) return Fail("an assignment effect the compiler does not write");
  if (e >= 0x40) {
    const int op = e & 0x1F;
    if (IsUnary(op)) {
      if (node.push) return Fail("a unary assignment pushes its value");
    } else {
      if (BinaryLevel(op) == 0) return Fail("an assignment uses an unknown operator");
      if (!Pop(stack, node.operands.emplace_back())) return false;
      node.level = kAssign;
    }
  } else if (e == 0x00) {
    if (!node.push) return Fail("a write through USING without push");
    if (!Pop(stack, node.operands.emplace_back())) return false;
    node.level = kAssign;
  } else if (e >= 0x20 && e < 0x40) {
    if ((e & 6) != SizeBits(in) || (e & 1)) return Fail("an increment names another size");
  } else if (e != 0x08 && e != 0x0C && e != 0x10 && e != 0x14 && e != 0x18 && e != 0x1C) {
    return Fail("an assignment effect the compiler does not write");
  }
  if (!node.operands.empty()) node.offset = std::min(node.offset, node.operands[0]->offset);
  if (node.push) return Push(stack, std::move(node));
  return Statement(stack, std::move(node));
}

// coginit(id, method(args), stack): after RUN, the cog id is stored below the
// new frame before COGINIT.
bool StackMachine::CogInitMethod(const SpinInstruction& in, Stack& stack, std::int64_t& next) {
  const std::int64_t p = in.end;
  static const std::uint8_t tail[4] = {0x37, 0x61, 0xD1, 0x2C};
  if (p + 4 > codeEnd_) return Fail("a cog start without its tail");
  for (int k = 0; k < 4; ++k)
    if (bytes_[static_cast<std::size_t>(p + k)] != tail[k]) return Fail("a cog start without its tail");
  Expr node;
  node.kind = ExprKind::Builtin;
  node.name = "coginit";
  node.operands.resize(2);
  if (!Pop(stack, node.operands[0])) return false;
  if (stack.empty() || stack.back().kind != Item::Run) return Fail("a cog start without its method");
  node.operands[1] = stack.back().expr;
  stack.pop_back();
  node.offset = std::min(node.operands[0]->offset, node.operands[1]->offset);
  if (!Statement(stack, std::move(node))) return false;
  next = p + 4;
  if (!At(next - 1) && !At(p + 3)) return Fail("a cog start's tail is not decoded");
  return true;
}

bool StackMachine::StringAt(std::int64_t at, std::string& bytes) const {
  bytes.clear();
  for (std::int64_t k = at; k < end_; ++k) {
    const std::uint8_t c = bytes_[static_cast<std::size_t>(k)];
    if (c == 0) return !bytes.empty();
    bytes += static_cast<char>(c);
  }
  return false;
}

}  // namespace brevin::recovery::spin
