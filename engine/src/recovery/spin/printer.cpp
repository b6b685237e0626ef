// The printer of the recovered Spin source: statements with their indents,
// expressions with the brackets Spin's precedence needs, and each constant
// spelled by how it is used.
#include "recovery/spin/printer.h"

#include "isa/spin_tables.h"
#include "recovery/spin/constant_form.h"

namespace brevin::recovery {
namespace {

using spin::Expr;
using spin::ExprKind;
using spin::ExprRef;
using spin::Place;
using spin::Stmt;
using spin::StmtKind;
using spin::StmtList;
using spin::Variable;

const char* BinaryText(int op) {
  switch (op) {
    case 0x00: return "->";
    case 0x01: return "<-";
    case 0x02: return ">>";
    case 0x03: return "<<";
    case 0x04: return "#>";
    case 0x05: return "<#";
    case 0x08: return "&";
    case 0x0A: return "|";
    case 0x0B: return "^";
    case 0x0C: return "+";
    case 0x0D: return "-";
    case 0x0E: return "~>";
    case 0x0F: return "><";
    case 0x10: return "AND";
    case 0x12: return "OR";
    case 0x14: return "*";
    case 0x15: return "**";
    case 0x16: return "/";
    case 0x17: return "//";
    case 0x19: return "<";
    case 0x1A: return ">";
    case 0x1B: return "<>";
    case 0x1C: return "==";
    case 0x1D: return "=<";
    case 0x1E: return "=>";
    default: return "?";
  }
}

const char* UnaryText(int op) {
  switch (op) {
    case 0x06: return "-";
    case 0x07: return "!";
    case 0x09: return "||";
    case 0x11: return ">|";
    case 0x13: return "|<";
    case 0x18: return "^^";
    case 0x1F: return "NOT";
    default: return "?";
  }
}

bool IsMaskOperator(int op) { return op == 0x08 || op == 0x0A || op == 0x0B; }

std::string RegisterName(int reg) {
  const std::string_view name = SourceRegisterName(static_cast<std::uint32_t>(reg));
  return std::string(name.empty() ? SourceRegisterName(0x10) : name);
}

// A named variable read at a size: the name, a .byte/.word modifier when the
// access is narrower than the declaration, and the index when there is one.
std::string NamedAccess(const DeclaredName& name, int bytes, const std::string* index) {
  std::string text = name.name;
  if (bytes < name.size) text += bytes == 1 ? ".byte" : ".word";
  if (index) text += "[" + *index + "]";
  return text;
}

class Printer {
 public:
  Printer(const BodyNaming& naming, const Spelling& spelling) : naming_(naming), spelling_(spelling) {}

  PrintedBody Print(const StmtList& body) {
    FindFlags(body);
    Statements(body, 1);
    return std::move(out_);
  }

 private:
  const BodyNaming& naming_;
  const Spelling& spelling_;
  PrintedBody out_;
  std::set<const Expr*> flags_;  // constants written TRUE or FALSE by where they stand

  // ---- flags set by the shape of the code ----

  // The TRUE or FALSE a statement gives a slot (the result for a return).
  static const Expr* FlagGiven(const Stmt& s, spin::Slot& slot) {
    const Expr* value = nullptr;
    if (s.kind == StmtKind::Return && s.expr) {
      slot = spin::Slot{true, 0};
      value = s.expr.get();
    } else if (s.kind == StmtKind::Do && s.expr->kind == ExprKind::Effect && s.expr->op == 0 && !s.expr->operands.empty() &&
               spin::SlotOfVariable(s.expr->variable, slot)) {
      value = s.expr->operands[0].get();
    }
    return value && value->kind == ExprKind::Constant && (value->value == -1 || value->value == 0) ? value : nullptr;
  }

  // Two branches that end giving one slot TRUE and the other FALSE set a
  // flag: "if c / x := TRUE / else / x := FALSE", and "if c / return TRUE"
  // followed by "return FALSE".
  void PairFlags(const StmtList& first, const Stmt& second) {
    spin::Slot a, b;
    const Expr* x = first.empty() ? nullptr : FlagGiven(first.back(), a);
    const Expr* y = FlagGiven(second, b);
    if (x && y && a == b && x->value != y->value) {
      flags_.insert(x);
      flags_.insert(y);
    }
  }

  void FindFlags(const StmtList& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      const Stmt& s = list[i];
      if (s.kind == StmtKind::If && s.hasElse && !s.elseIf && !s.elseBody.empty()) PairFlags(s.body, s.elseBody.back());
      if (s.kind == StmtKind::If && !s.hasElse && i + 1 < list.size() && list[i + 1].kind == StmtKind::Return)
        PairFlags(s.body, list[i + 1]);
      FindFlags(s.body);
      FindFlags(s.elseBody);
      for (const spin::CaseBranch& b : s.branches) FindFlags(b.body);
    }
  }

  void Line(int indent, std::string text, std::int32_t offset) {
    out_.lines.push_back({indent, std::move(text), offset});
  }

  // A loop's repeat line stands for the bytes that close the loop, too.
  void LoopLine(int indent, std::string text, const Stmt& loop) {
    Line(indent, std::move(text), loop.offset);
    out_.lines.back().closing = loop.closeOffset;
  }

  void Arity(bool differs) {
    if (differs && out_.difference.empty())
      out_.difference = "a call passes another number of arguments than the method takes";
  }

  // ---- statements ----

  void Statements(const StmtList& list, int indent) {
    for (const Stmt& s : list) Statement(s, indent);
  }

  void Statement(const Stmt& s, int indent) {
    switch (s.kind) {
      case StmtKind::Do: Line(indent, Text(*s.expr), s.offset); return;
      case StmtKind::If: If(s, indent, ""); return;
      case StmtKind::Case: Case(s, indent); return;
      case StmtKind::Repeat:
        LoopLine(indent, "repeat", s);
        Statements(s.body, indent + 1);
        return;
      case StmtKind::RepeatCount:
        LoopLine(indent, "repeat " + Text(*s.expr), s);
        Statements(s.body, indent + 1);
        return;
      case StmtKind::RepeatPre:
        LoopLine(indent, std::string(s.negated ? "repeat until " : "repeat while ") + Condition(*s.expr), s);
        Statements(s.body, indent + 1);
        return;
      case StmtKind::RepeatPost:
        Line(indent, "repeat", s.offset);
        Statements(s.body, indent + 1);
        if (s.expr) Line(indent, std::string(s.negated ? "until " : "while ") + Condition(*s.expr), s.tailOffset);
        return;
      case StmtKind::RepeatFrom: RepeatFrom(s, indent); return;
      case StmtKind::Next: Line(indent, "next", s.offset); return;
      case StmtKind::Quit: Line(indent, "quit", s.offset); return;
      case StmtKind::Return:
      case StmtKind::Abort: {
        std::string text = s.kind == StmtKind::Return ? "return" : "abort";
        if (s.expr) text += " " + Value(*s.expr, s.kind == StmtKind::Return ? AssignedUse(Result()) : ConstantUse::Plain);
        Line(indent, std::move(text), s.offset);
        return;
      }
    }
  }

  void If(const Stmt& s, int indent, const char* prefix) {
    Line(indent, std::string(prefix) + (s.negated ? "ifnot " : "if ") + Condition(*s.expr), s.offset);
    Statements(s.body, indent + 1);
    if (!s.hasElse) return;
    if (s.elseIf) {
      If(s.elseBody[0], indent, "else");
      return;
    }
    Line(indent, "else", s.elseOffset);
    Statements(s.elseBody, indent + 1);
  }

  // A condition that is a constant is a truth value.
  std::string Condition(const Expr& e) { return Value(e, ConstantUse::Boolean); }

  static Variable Result() {
    Variable v;
    v.place = Place::Local;
    return v;
  }

  void Case(const Stmt& s, int indent) {
    Line(indent, "case " + Text(*s.expr), s.offset);
    const ConstantUse use = ReadsText(*s.expr) ? ConstantUse::Character : ConstantUse::Plain;
    for (const spin::CaseBranch& b : s.branches) {
      std::string labels;
      for (std::size_t i = 0; i < b.values.size(); ++i) labels += (i ? ", " : "") + Value(*b.values[i], use);
      Line(indent + 1, labels + ":", b.offset);
      Statements(b.body, indent + 2);
    }
    if (s.hasElse) {
      Line(indent + 1, "other:", s.elseOffset);
      Statements(s.elseBody, indent + 2);
    }
  }

  void RepeatFrom(const Stmt& s, int indent) {
    std::string text = "repeat " + VariableText(s.var) + " from " + Text(*s.from) + " to " + Text(*s.to);
    if (s.step) text += " step " + Text(*s.step);
    LoopLine(indent, std::move(text), s);
    Statements(s.body, indent + 1);
  }

  // ---- expressions ----

  std::string Wrap(const Expr& e, int maxLevel) {
    return e.level > maxLevel ? "(" + Text(e) + ")" : Text(e);
  }

  std::string Join(const std::vector<ExprRef>& parts, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    std::string s;
    for (std::size_t i = from; i < parts.size() && i < to; ++i) s += (i > from ? ", " : "") + Text(*parts[i]);
    return s;
  }

  // A constant spelled for its use: a character, a truth name, NEGX or
  // POSX, $hex for bits, else the number as it reads best.
  std::string Constant(const Expr& c, ConstantUse use) {
    const std::int64_t v = c.value;
    if (flags_.count(&c)) use = ConstantUse::Boolean;
    if (use == ConstantUse::Character && spelling_.characters && v >= 0x20 && v < 0x7F && v != '"')
      return std::string("\"") + static_cast<char>(v) + "\"";
    if (use == ConstantUse::Boolean && spelling_.truthNames && (v == -1 || v == 0)) return v ? "TRUE" : "FALSE";
    if (spelling_.constantName)
      if (std::optional<std::string> name = spelling_.constantName(v, use, out_.lines.size())) return *name;
    if (use == ConstantUse::Mask) return v > 9 || v < -1 ? spin::HexText(v) : spin::ConstantText(v);
    if (spelling_.truthNames && v == INT32_MIN) return "NEGX";
    if (spelling_.truthNames && v == INT32_MAX) return "POSX";
    return spin::ConstantText(v);
  }

  // An operand that may be a constant spelled for its use.
  std::string Operand(const Expr& e, ConstantUse use) {
    return e.kind == ExprKind::Constant ? Constant(e, use) : Text(e);
  }

  bool ReadsText(const Expr& e) const {
    return spelling_.values && spelling_.values->ReadsText(e, spelling_.object, spelling_.method);
  }
  bool GivesTruth(const Expr& e) const {
    return spelling_.values && spelling_.values->GivesTruth(e, spelling_.object, spelling_.method);
  }

  // A range of digits or letters ("0".."9", "A".."F") reads as characters wherever it is.
  static bool CharacterRange(const Expr& e) {
    if (e.kind != ExprKind::Range || e.operands[0]->kind != ExprKind::Constant || e.operands[1]->kind != ExprKind::Constant)
      return false;
    const std::int64_t lo = e.operands[0]->value;
    const std::int64_t hi = e.operands[1]->value;
    const auto boundary = [](std::int64_t c) {
      return c == '0' || c == '9' || c == 'A' || c == 'Z' || c == 'a' || c == 'z' || c == 'F' || c == 'f' || c == '1' ||
             c == '7';
    };
    return lo < hi && boundary(lo) && boundary(hi) && ((lo >= '0' && hi <= '9') || (lo >= 'A' && hi <= 'Z') || (lo >= 'a' && hi <= 'z'));
  }

  // A value in a place of a kind: a constant spelled for it, a range with
  // both ends spelled so, anything else as itself.
  std::string Value(const Expr& e, ConstantUse use) {
    if (e.kind == ExprKind::Constant) return Constant(e, use);
    if (e.kind == ExprKind::Range) {
      const ConstantUse ends = CharacterRange(e) ? ConstantUse::Character : use;
      return Value(*e.operands[0], ends) + ".." + Value(*e.operands[1], ends);
    }
    if (e.kind == ExprKind::Lookup && use == ConstantUse::Character) return Lookup(e, use);
    if (e.kind == ExprKind::Binary && use == ConstantUse::Character && (e.op == 0x0C || e.op == 0x0D)) return Binary(e, use);
    return Text(e);
  }

  // Whether an operand's text starts with a minus: a negation, a
  // pre-decrement, or a negative number.
  static bool StartsWithMinus(const Expr& e) {
    if (e.kind == ExprKind::Unary) return e.op == 0x06;
    if (e.kind == ExprKind::Effect) return (e.op & 0x78) == 0x30;
    return false;
  }

  std::string Text(const Expr& e) {
    switch (e.kind) {
      case ExprKind::Constant: return Constant(e, ConstantUse::Plain);
      case ExprKind::Special: return e.name;
      case ExprKind::Read: return VariableText(e.variable);
      case ExprKind::AddressOf: return "@" + VariableText(e.variable);
      case ExprKind::AbsoluteOf: return "@@" + Wrap(*e.operands[0], spin::kTerm);
      case ExprKind::Unary: return Unary(e);
      case ExprKind::Binary: return Binary(e, ConstantUse::Plain);
      case ExprKind::Effect: return Effect(e);
      case ExprKind::Call: return Call(e);
      case ExprKind::Builtin: return e.name + (e.operands.empty() ? "" : "(" + Join(e.operands) + ")");
      case ExprKind::String: return StringText(e.bytes);
      case ExprKind::Lookup: return Lookup(e, ConstantUse::Plain);
      case ExprKind::Range: return Value(e, ConstantUse::Plain);
      case ExprKind::CogRun: {
        const std::size_t args = e.operands.size() - 1;
        std::string text = OwnMethod(e.callee.method, args);
        if (args) text += "(" + Arguments(e, args) + ")";
        return text + ", " + Text(*e.operands.back());
      }
    }
    return "?";
  }

  std::string Unary(const Expr& e) {
    const Expr& a = *e.operands[0];
    if (e.op == 0x1F) return "NOT " + Wrap(a, spin::kNot);
    // -5 would be a constant of its own: a negated constant keeps its brackets.
    if (e.op == 0x06 && (a.kind == ExprKind::Constant || StartsWithMinus(a))) return "-(" + Text(a) + ")";
    return UnaryText(e.op) + Wrap(a, spin::kTerm);
  }

  // The use each side of a binary operator gives a constant on the other.
  void OperandUses(const Expr& e, ConstantUse use, ConstantUse& left, ConstantUse& right) {
    left = right = ConstantUse::Plain;
    if (IsMaskOperator(e.op)) {
      left = right = ConstantUse::Mask;
    } else if (e.op >= 0x19 && e.op <= 0x1E) {
      if (ReadsText(*e.operands[0])) right = ConstantUse::Character;
      if (ReadsText(*e.operands[1])) left = ConstantUse::Character;
      // Only == and <> compare truth values; x < 0 tests a sign.
      const bool equality = e.op == 0x1B || e.op == 0x1C;
      if (equality && GivesTruth(*e.operands[0])) right = ConstantUse::Boolean;
      if (equality && GivesTruth(*e.operands[1])) left = ConstantUse::Boolean;
    } else if (e.op == 0x0C || e.op == 0x0D) {
      // A character plus or minus a number: the number is a character too.
      if (use == ConstantUse::Character) left = right = ConstantUse::Character;
      if (ReadsText(*e.operands[0])) right = ConstantUse::Character;
    }
  }

  // Spin binds shifts, & and | tighter than * and + and comparisons, where a
  // reader of other languages expects the opposite: such an operand keeps
  // brackets that Spin does not need.
  static bool Surprising(const Expr& operand, const Expr& parent) {
    return operand.kind == ExprKind::Binary && operand.level <= 3 && parent.level >= 4 && parent.level <= 7;
  }

  std::string Binary(const Expr& e, ConstantUse use) {
    const Expr& left = *e.operands[0];
    const Expr& right = *e.operands[1];
    ConstantUse leftUse, rightUse;
    OperandUses(e, use, leftUse, rightUse);
    std::string text = left.level > e.level || Surprising(left, e) ? "(" + Value(left, leftUse) + ")" : Value(left, leftUse);
    text += ' ';
    text += BinaryText(e.op);
    text += ' ';
    text += right.level > e.level - 1 || Surprising(right, e) ? "(" + Value(right, rightUse) + ")"
                                                                : Value(right, rightUse);
    return text;
  }

  std::string Lookup(const Expr& e, ConstantUse use) {
    // lookdown finds its primary among the values; lookup gives one of them.
    ConstantUse values = e.down ? (ReadsText(*e.operands[0]) ? ConstantUse::Character : ConstantUse::Plain) : use;
    // A table of numbers sent as text is a table of characters only when every entry is one.
    for (std::size_t i = 1; i < e.operands.size() && values == ConstantUse::Character; ++i) {
      const Expr& v = *e.operands[i];
      const Expr& low = v.kind == ExprKind::Range ? *v.operands[0] : v;
      const Expr& high = v.kind == ExprKind::Range ? *v.operands[1] : v;
      for (const Expr* end : {&low, &high})
        if (end->kind != ExprKind::Constant || end->value < 0x20 || end->value >= 0x7F || end->value == '"')
          values = ConstantUse::Plain;
    }
    std::string text = std::string(e.down ? "lookdown" : "lookup") + (e.zeroBased ? "z" : "") + "(" +
                       Text(*e.operands[0]) + ": ";
    for (std::size_t i = 1; i < e.operands.size(); ++i) text += (i > 1 ? ", " : "") + Value(*e.operands[i], values);
    return text + ")";
  }

  std::string Effect(const Expr& e) {
    const std::string target = VariableText(e.variable);
    const int op = e.op;
    if (op == 0x00) return target + " := " + Value(*e.operands[0], AssignedUse(e.variable));
    if (op >= 0x40) {
      if (e.operands.empty()) {
        const std::string u = UnaryText(op & 0x1F);
        return u + (u == "NOT" ? " " : "") + target;
      }
      const ConstantUse use =
          IsMaskOperator(op & 0x1F) ? ConstantUse::Mask : ConstantUse::Plain;
      return target + " " + BinaryText(op & 0x1F) + "= " + Operand(*e.operands[0], use);
    }
    if (op >= 0x20) {
      switch (op & 0x38) {
        case 0x20: return "++" + target;
        case 0x28: return target + "++";
        case 0x30: return "--" + target;
        default: return target + "--";
      }
    }
    switch (op) {
      case 0x08: return "?" + target;
      case 0x0C: return target + "?";
      case 0x10: return "~" + target;
      case 0x14: return "~~" + target;
      case 0x18: return target + "~";
      default: return target + "~~";
    }
  }

  // What a value assigned to a variable stands for: a truth value or a character.
  ConstantUse AssignedUse(const Variable& v) const {
    spin::Slot slot;
    if (spin::SlotOfVariable(v, slot) && (spelling_.truthSlots.count(slot) || spelling_.flagSlots.count(slot)))
      return ConstantUse::Boolean;
    // A pin of a register whose bits the object sets with TRUE.
    if (v.place == Place::Register && v.bitHigh && !v.bitLow && spelling_.values &&
        spelling_.values->TruthBits(spelling_.object, v.offset))
      return ConstantUse::Boolean;
    // A byte of a buffer or table given a printable value: a character.
    if (v.size == 1 && v.place != Place::Register && v.place != Place::Spr && (v.index || v.place == Place::Memory))
      return ConstantUse::Character;
    if (spin::SlotOfVariable(v, slot) && slot.local && spelling_.textSlots.count(slot)) return ConstantUse::Character;
    return ConstantUse::Plain;
  }

  std::string Arguments(const Expr& e, std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; ++i) {
      const bool character = spelling_.characterArgument && spelling_.characterArgument(e.callee, static_cast<int>(i));
      ConstantUse use = character ? ConstantUse::Character : ConstantUse::Plain;
      if (!character && spelling_.values && e.kind == ExprKind::Call) {
        const int callee = spelling_.values->CalleeObject(e, spelling_.object);
        if (callee >= 0 && spelling_.values->TruthParameter(callee, e.callee.method, static_cast<int>(i)))
          use = ConstantUse::Boolean;
      }
      s += (i ? ", " : "") + Argument(e, *e.operands[i], use);
    }
    return s;
  }

  // A number passed to a child object may be spelled by the child's own
  // constant, where the method's own spelling would write a plain number.
  std::string Argument(const Expr& call, const Expr& argument, ConstantUse use) {
    const std::string own = Value(argument, use);
    if (argument.kind != ExprKind::Constant || !spelling_.childConstant || own != spin::ConstantText(argument.value))
      return own;
    return spelling_.childConstant(call.callee, argument.value, use).value_or(own);
  }

  std::string OwnMethod(int method, std::size_t args) {
    if (naming_.parameters) Arity(naming_.parameters(method) != static_cast<int>(args));
    return naming_.method(method);
  }

  std::string Call(const Expr& e) {
    const spin::Callee& c = e.callee;
    std::string name;
    if (!c.child) {
      name = OwnMethod(c.method, e.operands.size());
    } else {
      if (naming_.childParameters) Arity(naming_.childParameters(c.entry, c.method) != static_cast<int>(e.operands.size()));
      name = naming_.child(c.entry) + (c.index ? "[" + Text(*c.index) + "]" : "") + "." +
             naming_.childMethod(c.entry, c.method);
    }
    std::string text = (c.abortTrap ? "\\" : "") + name;
    if (!e.operands.empty()) text += "(" + Arguments(e, e.operands.size()) + ")";
    return text;
  }

  std::string VariableText(const Variable& v) {
    std::string index;
    if (v.index) index = Text(*v.index);
    const std::string* indexed = v.index ? &index : nullptr;
    switch (v.place) {
      case Place::Local:
        if (v.compact) return naming_.local(v.offset);
        return NamedAccess(DeclaredName{naming_.local(v.offset), 4}, v.size, indexed);
      case Place::Var:
        if (v.compact) return naming_.var(v.offset, 4).name;
        return NamedAccess(naming_.var(v.offset, v.size), v.size, indexed);
      case Place::Dat:
        return NamedAccess(naming_.dat(v.offset, v.size), v.size, indexed);
      case Place::Memory: {
        static const char* const sizes[5] = {"", "byte", "word", "", "long"};
        return std::string(sizes[v.size]) + "[" + Text(*v.base) + "]" + (indexed ? "[" + index + "]" : "");
      }
      case Place::Register: {
        std::string text = RegisterName(v.offset);
        if (v.bitLow) return text + "[" + Text(*v.bitHigh) + ".." + Text(*v.bitLow) + "]";
        if (v.bitHigh) return text + "[" + Text(*v.bitHigh) + "]";
        return text;
      }
      case Place::Spr:
        return "spr[" + Text(*v.base) + "]";
    }
    return "?";
  }

  // string(...): printable runs quoted, other bytes as numbers (or the
  // constant that names them there).
  std::string StringText(const std::string& bytes) {
    std::string parts;
    std::string quoted;
    const auto part = [&](const std::string& p) { parts += (parts.empty() ? "" : ", ") + p; };
    for (const char ch : bytes) {
      const auto c = static_cast<unsigned char>(ch);
      if (c >= 0x20 && c < 0x7F && c != '"') {
        quoted += static_cast<char>(c);
        continue;
      }
      if (!quoted.empty()) part("\"" + quoted + "\"");
      quoted.clear();
      std::optional<std::string> name;
      if (spelling_.constantName) name = spelling_.constantName(c, ConstantUse::Plain, out_.lines.size());
      part(name ? *name : std::to_string(c));
    }
    if (!quoted.empty()) part("\"" + quoted + "\"");
    return "string(" + parts + ")";
  }
};

}  // namespace

PrintedBody PrintMethod(const spin::StmtList& body, const BodyNaming& naming, const Spelling& spelling) {
  return Printer(naming, spelling).Print(body);
}

}  // namespace brevin::recovery
