// The printer of the recovered Spin source: statements with their indents,
// expressions with the brackets Spin's precedence needs, and each constant
// spelled by how it is used.
#include "recovery/spin/printer.h"

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

const char* RegisterName(int reg) {
  static const char* const names[16] = {"par",  "cnt",  "ina",  "inb",  "outa", "outb", "dira", "dirb",
                                        "ctra", "ctrb", "frqa", "frqb", "phsa", "phsb", "vcfg", "vscl"};
  return reg >= 0x10 && reg < 0x20 ? names[reg - 0x10] : "par";
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
    Statements(body, 1);
    return std::move(out_);
  }

 private:
  const BodyNaming& naming_;
  const Spelling& spelling_;
  PrintedBody out_;

  void Line(int indent, std::string text, std::int32_t offset) {
    out_.lines.push_back({indent, std::move(text), offset});
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
        Line(indent, "repeat", s.offset);
        Statements(s.body, indent + 1);
        return;
      case StmtKind::RepeatCount:
        Line(indent, "repeat " + Text(*s.expr), s.offset);
        Statements(s.body, indent + 1);
        return;
      case StmtKind::RepeatPre:
        Line(indent, std::string(s.negated ? "repeat until " : "repeat while ") + Text(*s.expr), s.offset);
        Statements(s.body, indent + 1);
        return;
      case StmtKind::RepeatPost:
        Line(indent, "repeat", s.offset);
        Statements(s.body, indent + 1);
        if (s.expr) Line(indent, std::string(s.negated ? "until " : "while ") + Text(*s.expr), s.tailOffset);
        return;
      case StmtKind::RepeatFrom: RepeatFrom(s, indent); return;
      case StmtKind::Next: Line(indent, "next", s.offset); return;
      case StmtKind::Quit: Line(indent, "quit", s.offset); return;
      case StmtKind::Return:
      case StmtKind::Abort: {
        std::string text = s.kind == StmtKind::Return ? "return" : "abort";
        if (s.expr) text += " " + Text(*s.expr);
        Line(indent, std::move(text), s.offset);
        return;
      }
    }
  }

  void If(const Stmt& s, int indent, const char* prefix) {
    Line(indent, std::string(prefix) + (s.negated ? "ifnot " : "if ") + Text(*s.expr), s.offset);
    Statements(s.body, indent + 1);
    if (!s.hasElse) return;
    if (s.elseIf) {
      If(s.elseBody[0], indent, "else");
      return;
    }
    Line(indent, "else", s.elseOffset);
    Statements(s.elseBody, indent + 1);
  }

  void Case(const Stmt& s, int indent) {
    Line(indent, "case " + Text(*s.expr), s.offset);
    for (const spin::CaseBranch& b : s.branches) {
      std::string labels;
      for (std::size_t i = 0; i < b.values.size(); ++i) labels += (i ? ", " : "") + Text(*b.values[i]);
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
    Line(indent, std::move(text), s.offset);
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

  std::string Constant(const Expr& c, ConstantUse use) {
    if (use == ConstantUse::Mask && (c.value > 9 || c.value < -1)) return spin::HexText(c.value);
    return spin::ConstantText(c.value);
  }

  // An operand that may be a constant spelled for its use.
  std::string Operand(const Expr& e, ConstantUse use) {
    return e.kind == ExprKind::Constant ? Constant(e, use) : Text(e);
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
      case ExprKind::Binary: return Binary(e);
      case ExprKind::Effect: return Effect(e);
      case ExprKind::Call: return Call(e);
      case ExprKind::Builtin: return e.name + (e.operands.empty() ? "" : "(" + Join(e.operands) + ")");
      case ExprKind::String: return StringText(e.bytes);
      case ExprKind::Lookup:
        return std::string(e.down ? "lookdown" : "lookup") + (e.zeroBased ? "z" : "") + "(" + Text(*e.operands[0]) +
               ": " + Join(e.operands, 1) + ")";
      case ExprKind::Range: return Text(*e.operands[0]) + ".." + Text(*e.operands[1]);
      case ExprKind::CogRun: {
        const std::size_t args = e.operands.size() - 1;
        std::string text = OwnMethod(e.callee.method, args);
        if (args) text += "(" + Join(e.operands, 0, args) + ")";
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

  std::string Binary(const Expr& e) {
    const Expr& left = *e.operands[0];
    const Expr& right = *e.operands[1];
    const ConstantUse use = IsMaskOperator(e.op) ? ConstantUse::Mask : ConstantUse::Plain;
    std::string text = left.level > e.level ? "(" + Operand(left, use) + ")" : Operand(left, use);
    text += ' ';
    text += BinaryText(e.op);
    text += ' ';
    text += right.level > e.level - 1 ? "(" + Operand(right, use) + ")" : Operand(right, use);
    return text;
  }

  std::string Effect(const Expr& e) {
    const std::string target = VariableText(e.variable);
    const int op = e.op;
    if (op == 0x00) return target + " := " + Text(*e.operands[0]);
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
    if (!e.operands.empty()) text += "(" + Join(e.operands) + ")";
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

  // string(...): printable runs quoted, other bytes as numbers.
  static std::string StringText(const std::string& bytes) {
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
      part(std::to_string(c));
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
