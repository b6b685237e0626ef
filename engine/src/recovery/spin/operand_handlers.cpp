// The stack machine's handlers, one per opcode family: calls, lookups, cog
// starts, the interpreter's built-ins, constants, registers, variables and
// math. Each pops its operands as nodes and pushes a node or writes a statement.
#include <bit>

#include "isa/spin_tables.h"
#include "recovery/spin/constant_form.h"
#include "recovery/spin/stack_machine.h"

namespace brevin::recovery::spin {
namespace {

// Binding level of a binary math operator; 0 when the operator is no binary one.
int BinaryLevel(SpinMath op) {
  switch (op) {
    case SpinMath::RotateRight: case SpinMath::RotateLeft: case SpinMath::ShiftRight: case SpinMath::ShiftLeft:
    case SpinMath::ShiftArithmetic: case SpinMath::Reverse:
      return 1;
    case SpinMath::BitAnd: return 2;
    case SpinMath::BitOr: case SpinMath::BitXor: return 3;
    case SpinMath::Multiply: case SpinMath::MultiplyHigh: case SpinMath::Divide: case SpinMath::Modulo: return 4;
    case SpinMath::Add: case SpinMath::Subtract: return 5;
    case SpinMath::LimitMin: case SpinMath::LimitMax: return 6;
    case SpinMath::Less: case SpinMath::Greater: case SpinMath::NotEqual: case SpinMath::Equal:
    case SpinMath::LessOrEqual: case SpinMath::GreaterOrEqual:
      return 7;
    case SpinMath::LogicAnd: return 9;
    case SpinMath::LogicOr: return 10;
    default: return 0;
  }
}

bool IsUnary(SpinMath op) {
  switch (op) {
    case SpinMath::Negate: case SpinMath::BitNot: case SpinMath::Absolute: case SpinMath::Encode:
    case SpinMath::Decode: case SpinMath::SquareRoot: case SpinMath::LogicNot:
      return true;
    default:
      return false;
  }
}

// Whether the instruction is that access of a variable that is not indexed.
bool Accesses(const SpinInstruction& in, SpinBase base, SpinSize size, SpinAccess access) {
  const SpinVariable& v = in.variable;
  return in.op == SpinOp::Variable && v.base == base && v.size == size && v.access == access && !v.indexed;
}

// The operator of an assignment's operator effect ($40..$5F).
SpinMath EffectMath(int effect) { return static_cast<SpinMath>(effect & 0x1F); }

// The size bits an increment or decrement of this access carries: none for
// a register's bit or bits.
int SizeBits(const SpinInstruction& in) {
  const SpinVariable& v = in.variable;
  if (v.base == SpinBase::None || (v.base == SpinBase::Register && v.indexed)) return 0;
  return v.size == SpinSize::Byte ? 2 : v.size == SpinSize::Word ? 4 : 6;
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
  Expr call;
  call.kind = ExprKind::Call;
  call.offset = static_cast<std::int32_t>(in.address);
  if (in.op == SpinOp::CallObjectIndexed && !Pop(stack, call.callee.index)) return false;
  std::vector<ExprRef> args;
  while (!stack.empty() && stack.back().kind == Item::Value) {
    if (stack.back().Raw()) return Fail("a constant in a form the compiler does not write");
    args.insert(args.begin(), stack.back().expr);
    stack.pop_back();
  }
  if (stack.empty() || stack.back().kind != Item::Anchor) return Fail("a call without its frame");
  const SpinOp frame = stack.back().frame;
  stack.pop_back();
  if (in.op == SpinOp::Call) {
    call.callee.method = static_cast<int>(in.Find(SpinOperandKind::MethodIndex)->value);
  } else {
    call.callee.child = true;
    call.callee.entry = static_cast<int>(in.Find(SpinOperandKind::ObjectIndex)->value);
    call.callee.method = static_cast<int>(in.Find(SpinOperandKind::ObjectMethod)->value);
  }
  call.callee.abortTrap = frame == SpinOp::FrameAbortTrap || frame == SpinOp::FrameIgnoreAbort ? 1 : 0;
  call.operands = std::move(args);
  if (frame == SpinOp::FrameResult || frame == SpinOp::FrameAbortTrap) return Push(stack, std::move(call));
  return Statement(stack, std::move(call));
}

bool StackMachine::StepLookup(const SpinInstruction& in, Stack& stack) {
  const bool down = in.op == SpinOp::LookDown || in.op == SpinOp::LookDownRange;
  const bool range = in.op == SpinOp::LookupRange || in.op == SpinOp::LookDownRange;
  ExprRef value;
  if (!PopValueOrRange(stack, range, value)) return false;
  if (!stack.empty() && stack.back().kind == Item::Look) {
    if (stack.back().down != down) return Fail("a lookup mixes lookup and lookdown");
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
  look.down = down;
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
  const bool push = in.op == SpinOp::CogInitPush;
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
  switch (in.op) {
    case SpinOp::StrSize: return Builtin("strsize", 1, true, stack);
    case SpinOp::StrComp: return Builtin("strcomp", 2, true, stack);
    case SpinOp::ByteFill: return Builtin("bytefill", 3, false, stack);
    case SpinOp::WordFill: return Builtin("wordfill", 3, false, stack);
    case SpinOp::LongFill: return Builtin("longfill", 3, false, stack);
    case SpinOp::WaitPeq: return Builtin("waitpeq", 3, false, stack);
    case SpinOp::ByteMove: return Builtin("bytemove", 3, false, stack);
    case SpinOp::WordMove: return Builtin("wordmove", 3, false, stack);
    case SpinOp::LongMove: return Builtin("longmove", 3, false, stack);
    case SpinOp::WaitPne: return Builtin("waitpne", 3, false, stack);
    case SpinOp::ClkSet: {
      // reboot is clkset($80, 0).
      if (stack.size() >= 2 && stack[stack.size() - 2].IsConstant() && stack[stack.size() - 2].ConstantValue() == 0x80 &&
          stack.back().IsConstant() && stack.back().ConstantValue() == 0) {
        stack.resize(stack.size() - 2);
        return Builtin("reboot", 0, false, stack);
      }
      return Builtin("clkset", 2, false, stack);
    }
    case SpinOp::CogStop: return Builtin("cogstop", 1, false, stack);
    case SpinOp::LockReturn: return Builtin("lockret", 1, false, stack);
    case SpinOp::WaitCnt: return Builtin("waitcnt", 1, false, stack);
    case SpinOp::SpecialRegister: {
      Variable spr;
      if (!VariableOf(in, stack, spr)) return false;
      return Access(in, spr, stack);
    }
    case SpinOp::WaitVid: return Builtin("waitvid", 2, false, stack);
    case SpinOp::LockNewPush: return Builtin("locknew", 0, true, stack);
    case SpinOp::LockSetPush: return Builtin("lockset", 1, true, stack);
    case SpinOp::LockClearPush: return Builtin("lockclr", 1, true, stack);
    case SpinOp::LockNew: return Builtin("locknew", 0, false, stack);
    case SpinOp::LockSet: return Builtin("lockset", 1, false, stack);
    case SpinOp::LockClear: return Builtin("lockclr", 1, false, stack);
    default: return Fail("an instruction the compiler does not write here");
  }
}

bool StackMachine::StepConstant(const SpinInstruction& in, Stack& stack, std::int64_t& next) {
  const bool shortForm = in.op == SpinOp::PushByte || in.op == SpinOp::PushWord;
  std::int64_t value = in.op == SpinOp::PushMinusOne ? -1
                       : in.op == SpinOp::PushZero   ? 0
                       : in.op == SpinOp::PushOne    ? 1
                                                     : in.Find(SpinOperandKind::Constant)->value;
  value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  std::vector<std::uint8_t> actual(bytes_.begin() + in.address, bytes_.begin() + in.end);
  // The compiler writes a constant with all high bits set as its complement and NOT.
  const SpinInstruction* after = At(in.end);
  if (shortForm && after && after->op == SpinOp::Operator && after->math == SpinMath::BitNot) {
    const std::int64_t folded = static_cast<std::int32_t>(~static_cast<std::uint32_t>(value));
    std::vector<std::uint8_t> both = actual;
    both.push_back(static_cast<std::uint8_t>(after->opcode));
    if (ConstantBytes(folded) == both) {
      value = folded;
      next = after->end;
      actual = both;
    }
  }
  Expr node;
  node.offset = static_cast<std::int32_t>(in.address);
  // clkmode is byte[4].
  if (in.op == SpinOp::PushByte && value == 4 && after && Accesses(*after, SpinBase::Memory, SpinSize::Byte, SpinAccess::Push)) {
    node.kind = ExprKind::Special;
    node.name = "clkmode";
    next = after->end;
    return Push(stack, std::move(node));
  }
  node.kind = ExprKind::Constant;
  node.value = value;
  // The end address of a case or lookup is written in the long form.
  node.raw = ConstantBytes(value) != actual;
  if (node.raw && !shortForm) return Fail("a constant in a form the compiler does not write");
  return Push(stack, std::move(node));
}

bool StackMachine::StepRegister(const SpinInstruction& in, Stack& stack, std::int64_t& next) {
  if (!in.Find(SpinOperandKind::Register)) return Fail("a register operation without its register");
  const SpinVariable& v = in.variable;
  // cogid and a cog start's COGINIT read the register $1E9 and $1EF.
  if (in.op == SpinOp::Register && v.access == SpinAccess::Push && v.offset == 0x09) {
    Expr node;
    node.kind = ExprKind::Special;
    node.name = "cogid";
    node.offset = static_cast<std::int32_t>(in.address);
    return Push(stack, std::move(node));
  }
  if (in.op == SpinOp::Register && v.access == SpinAccess::Push && v.offset == 0x0F) return CogInitMethod(in, stack, next);
  Variable target;
  if (!VariableOf(in, stack, target)) return false;
  return Access(in, target, stack);
}

// The variable an access instruction names, popping its index and, for
// byte[]/word[]/long[], its base address; a register's bit or bits, and
// spr[]'s register.
bool StackMachine::VariableOf(const SpinInstruction& in, Stack& stack, Variable& variable) {
  const SpinVariable& v = in.variable;
  variable.offset = v.offset;
  variable.size = static_cast<int>(v.size);
  switch (v.base) {
    case SpinBase::None:
      return Fail("an instruction that names no variable");
    case SpinBase::Register:
      if (SourceRegisterName(static_cast<std::uint32_t>(v.offset)).empty() || v.access == SpinAccess::Invalid)
        return Fail("a register the compiler does not name");
      variable.place = Place::Register;
      if (in.op == SpinOp::RegisterBit) return Pop(stack, variable.bitHigh);
      if (in.op == SpinOp::RegisterBits) return Pop(stack, variable.bitLow) && Pop(stack, variable.bitHigh);
      return true;
    case SpinBase::SpecialRegister:
      variable.place = Place::Spr;
      return Pop(stack, variable.base);
    default:
      break;
  }
  if (in.op == SpinOp::VariableFast) {
    variable.place = v.base == SpinBase::Locals ? Place::Local : Place::Var;
    variable.compact = true;
    return true;
  }
  if (v.indexed && !Pop(stack, variable.index)) return false;
  const bool longForm = !v.indexed && v.size == SpinSize::Long && v.offset < 32;
  switch (v.base) {
    case SpinBase::Memory:
      variable.place = Place::Memory;
      return Pop(stack, variable.base);
    case SpinBase::Object:
      variable.place = Place::Dat;
      return true;
    case SpinBase::Variables:
      variable.place = Place::Var;
      if (longForm) return Fail("a long variable is accessed in the long form");
      return true;
    default:
      variable.place = Place::Local;
      if ((variable.offset & 3) != 0) return Fail("a local is accessed off its long");
      if (longForm) return Fail("a long local is accessed in the long form");
      return true;
  }
}

bool StackMachine::StepVariable(const SpinInstruction& in, Stack& stack) {
  const SpinOperand* v = in.Find(SpinOperandKind::Variable);
  Expr node;
  node.offset = static_cast<std::int32_t>(in.address);
  // @@x is the address of byte 0 of the object, indexed by x.
  const SpinVariable& var = in.variable;
  if (in.op == SpinOp::Variable && var.base == SpinBase::Object && var.size == SpinSize::Byte &&
      var.access == SpinAccess::Address && var.indexed && v && v->value == 0) {
    node.kind = ExprKind::AbsoluteOf;
    if (!Pop(stack, node.operands.emplace_back())) return false;
    node.offset = node.operands[0]->offset;
    return Push(stack, std::move(node));
  }
  if (StringPush(in) && v && v->value >= codeEnd_ && v->value < end_) {
    node.kind = ExprKind::String;
    if (!StringAt(v->value, node.bytes)) return Fail("a string without its end");
    return Push(stack, std::move(node));
  }
  if (in.op == SpinOp::Variable && var.base == SpinBase::Memory && var.access == SpinAccess::Push && !var.indexed &&
      !stack.empty() && stack.back().IsConstant()) {
    // clkfreq and chipver read fixed hub places.
    const std::int64_t a = stack.back().ConstantValue();
    const char* special = var.size == SpinSize::Long && a == 0    ? "clkfreq"
                          : var.size == SpinSize::Byte && a == -1 ? "chipver"
                                                                  : nullptr;
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
  return Access(in, target, stack);
}

bool StackMachine::StepMath(const SpinInstruction& in, Stack& stack) {
  Expr node;
  node.op = static_cast<int>(in.math);
  if (IsUnary(in.math)) {
    node.kind = ExprKind::Unary;
    node.level = in.math == SpinMath::LogicNot ? kNot : kTerm;
    if (!Pop(stack, node.operands.emplace_back())) return false;
    node.offset = node.operands[0]->offset;
    return Push(stack, std::move(node));
  }
  const int level = BinaryLevel(in.math);
  if (level == 0) return Fail("an unknown operator");
  node.kind = ExprKind::Binary;
  node.level = level;
  node.operands.resize(2);
  if (!Pop(stack, node.operands[1]) || !Pop(stack, node.operands[0])) return false;
  node.offset = node.operands[0]->offset;
  return Push(stack, std::move(node));
}

// push, pop, USING or address of a named target.
bool StackMachine::Access(const SpinInstruction& in, const Variable& target, Stack& stack) {
  Expr node;
  node.offset = static_cast<std::int32_t>(in.address);
  node.variable = target;
  switch (in.variable.access) {
    case SpinAccess::Push:
      node.kind = ExprKind::Read;
      return Push(stack, std::move(node));
    case SpinAccess::Pop: {
      node.kind = ExprKind::Effect;
      node.op = 0;
      if (!Pop(stack, node.operands.emplace_back())) return false;
      if (!stack.empty()) return Fail("an assignment inside an expression without push");
      node.level = kAssign;
      return Statement(stack, std::move(node));
    }
    case SpinAccess::Using: {
      const SpinOperand* e = in.Find(SpinOperandKind::Effect);
      if (!e) return Fail("an assignment without its effect");
      return Effect(in, static_cast<int>(e->value), target, stack);
    }
    case SpinAccess::Address:
      node.kind = ExprKind::AddressOf;
      return Push(stack, std::move(node));
    case SpinAccess::Invalid:
      break;
  }
  return Fail("a register the compiler does not name");
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
    const SpinMath op = EffectMath(e);
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
