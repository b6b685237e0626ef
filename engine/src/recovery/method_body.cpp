// Decompiles one Spin method. The instructions come from the public decoder;
// a symbolic operand stack rebuilds the expressions, and the jump patterns the
// compiler emits for each block give the control structures back.
#include "recovery/method_body.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <optional>
#include <set>

#include "brevin/spin_instruction.h"

namespace brevin::recovery {
namespace {

// Binding levels of the compiler's expression grammar: 0 a term or a unary
// operator, 1..7 and 9..10 the binary levels, 8 NOT, 12 an assignment.
constexpr int kTerm = 0;
constexpr int kNot = 8;
constexpr int kAssign = 12;

// A named variable read at a size: the name, a .byte/.word modifier when the
// access is narrower than the declaration, and the index when there is one.
std::string NamedAccess(const DeclaredName& name, int bytes, bool indexed, const std::string& index) {
  std::string text = name.name;
  if (bytes < name.size) text += bytes == 1 ? ".byte" : ".word";
  if (indexed) text += "[" + index + "]";
  return text;
}

struct Item {
  enum Kind { Expr, Anchor, Look, Run } kind = Expr;
  std::string text;
  int level = kTerm;
  bool isConst = false;
  bool raw = false;  // a constant in the long form the compiler gives addresses
  std::int32_t datAddress = -1;  // @label: the label's object offset
  std::int64_t value = 0;
  int anchor = 0;
  // Look: the lookup being built.
  std::string primary;
  std::vector<std::string> values;
  int lookOp = 0;
  bool zeroBased = false;
};

struct Loop {
  std::int64_t next = -1;  // -1 while unknown (the condition of a post-test loop)
  std::int64_t quit = -1;
  bool count = false;
};

struct BinaryOp {
  const char* text;
  int level;
};

BinaryOp BinaryOf(int op) {
  switch (op) {
    case 0x00: return {"->", 1};
    case 0x01: return {"<-", 1};
    case 0x02: return {">>", 1};
    case 0x03: return {"<<", 1};
    case 0x04: return {"#>", 6};
    case 0x05: return {"<#", 6};
    case 0x08: return {"&", 2};
    case 0x0A: return {"|", 3};
    case 0x0B: return {"^", 3};
    case 0x0C: return {"+", 5};
    case 0x0D: return {"-", 5};
    case 0x0E: return {"~>", 1};
    case 0x0F: return {"><", 1};
    case 0x10: return {"AND", 9};
    case 0x12: return {"OR", 10};
    case 0x14: return {"*", 4};
    case 0x15: return {"**", 4};
    case 0x16: return {"/", 4};
    case 0x17: return {"//", 4};
    case 0x19: return {"<", 7};
    case 0x1A: return {">", 7};
    case 0x1B: return {"<>", 7};
    case 0x1C: return {"==", 7};
    case 0x1D: return {"=<", 7};
    case 0x1E: return {"=>", 7};
    default: return {nullptr, 0};
  }
}

const char* UnaryOf(int op) {
  switch (op) {
    case 0x06: return "-";
    case 0x07: return "!";
    case 0x09: return "||";
    case 0x11: return ">|";
    case 0x13: return "|<";
    case 0x18: return "^^";
    case 0x1F: return "NOT";
    default: return nullptr;
  }
}

const char* RegisterName(int reg) {
  static const char* const names[16] = {"par",  "cnt",  "ina",  "inb",  "outa", "outb", "dira", "dirb",
                                        "ctra", "ctrb", "frqa", "frqb", "phsa", "phsb", "vcfg", "vscl"};
  return reg >= 0x10 && reg < 0x20 ? names[reg - 0x10] : nullptr;
}

// The bytes the compiler gives a constant (CompileConstant).
std::vector<std::uint8_t> ConstantBytes(std::int64_t wide) {
  const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
  if (value >= -1 && value <= 1) return {static_cast<std::uint8_t>((value + 1) | 0x34)};
  // A mask: one bit set (2 << n), the bits below one (2 << n) - 1, or either inverted.
  const auto u = static_cast<std::uint32_t>(value);
  for (const std::uint32_t invert : {0u, 0x40u}) {
    const std::uint32_t v = invert ? ~u : u;
    if (std::has_single_bit(v) && v >= 2)
      return {0x37, static_cast<std::uint8_t>(invert | static_cast<std::uint32_t>(std::countr_zero(v) - 1))};
    if (std::has_single_bit(v + 1) && v >= (invert ? 1u : 3u))
      return {0x37, static_cast<std::uint8_t>(invert | 0x20 | static_cast<std::uint32_t>(std::countr_zero(v + 1) - 1))};
  }
  if ((u & 0xFFFFFF00u) == 0xFFFFFF00u) return {0x38, static_cast<std::uint8_t>(~u & 0xFF), 0xE7};
  if ((u & 0xFFFF0000u) == 0xFFFF0000u)
    return {0x39, static_cast<std::uint8_t>((~u >> 8) & 0xFF), static_cast<std::uint8_t>(~u & 0xFF), 0xE7};
  std::vector<std::uint8_t> out;
  if (u & 0xFF000000u) {
    out = {0x3B, static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
           static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
  } else if (u & 0x00FF0000u) {
    out = {0x3A, static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
  } else if (u & 0x0000FF00u) {
    out = {0x39, static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
  } else {
    out = {0x38, static_cast<std::uint8_t>(u)};
  }
  return out;
}

class Decompiler {
 public:
  Decompiler(std::span<const std::uint8_t> bytes, std::int32_t start, std::int32_t end, const BodyNaming& naming,
             BodyFacts& facts)
      : bytes_(bytes), start_(start), end_(end), naming_(naming), facts_(facts) {}

  MethodBody Run() {
    MethodBody body;
    if (!Scan()) {
      body.exact = false;
      body.difference = failure_;
      body.codeEnd = codeEnd_;
      return body;
    }
    body.codeEnd = codeEnd_;
    std::vector<Item> stack;
    // The compiler ends every method with a RETURN: it is not written.
    const bool ok = Block(start_, lastReturn_, 1, nullptr, stack) && stack.empty();
    if (exhausted_) failure_ = "the method's jumps admit too many readings";
    if (!ok || !failure_.empty()) {
      body.exact = false;
      body.difference = failure_.empty() ? "the bytecode leaves values on the stack" : failure_;
      body.lines = std::move(out_);  // what was read before, for a person
      return body;
    }
    body.lines = std::move(out_);
    return body;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::int32_t start_, end_;
  const BodyNaming& naming_;
  BodyFacts& facts_;
  std::int32_t codeEnd_ = 0;
  std::int64_t lastReturn_ = 0;
  // The method's instructions in address order, and by offset from the
  // method's start the one that starts and the one that ends there (-1: none).
  std::vector<SpinInstruction> list_;
  std::vector<std::int32_t> startIndex_;
  std::vector<std::int32_t> endIndex_;
  std::map<std::int64_t, std::vector<std::int64_t>> backTargets_;
  std::vector<BodyLine> out_;
  std::set<std::pair<std::int64_t, std::int64_t>> rejected_;  // (start, back jump) read as no loop
  std::string failure_;
  long blocks_ = 0;  // blocks read so far, readings tried again included
  static constexpr std::size_t kLongestExpression = 20000;
  long steps_ = 0;         // instructions read so far, readings tried again included
  long stepBudget_ = 0;    // compiled methods need fewer than six steps an instruction
  bool exhausted_ = false; // the bound was reached: no reading is tried again
  std::int64_t statementStart_ = 0;
  int indent_ = 1;

  bool Fail(const std::string& why) {
    if (failure_.empty()) {
      static const char* hex = "0123456789ABCDEF";
      std::string at;
      for (int shift = 12; shift >= 0; shift -= 4) at += hex[(statementStart_ >> shift) & 0xF];
      failure_ = why + " (statement at object offset $" + at + ")";
    }
    return false;
  }

  static std::int64_t Target(const SpinInstruction& in) {
    for (std::size_t i = 0; i < in.operandCount; ++i) {
      const SpinOperand& o = in.operands[i];
      if (o.kind == SpinOperandKind::JumpOffset || o.kind == SpinOperandKind::EffectJump) return o.end + o.value;
    }
    return -1;
  }

  static const SpinOperand* Operand(const SpinInstruction& in, SpinOperandKind kind) { return in.Find(kind); }

  // Decodes the code linearly: it ends where the method's first string starts,
  // or at the last RETURN before the end.
  bool Scan() {
    std::int64_t pc = start_;
    std::int64_t limit = end_;
    const auto view = bytes_.first(static_cast<std::size_t>(end_));
    list_.reserve(static_cast<std::size_t>(end_ - start_));
    startIndex_.assign(static_cast<std::size_t>(end_ - start_ + 1), -1);
    endIndex_.assign(static_cast<std::size_t>(end_ - start_ + 1), -1);
    while (pc < limit) {
      SpinInstruction in = DecodeSpin(view, pc);
      if (in.truncated || in.end > limit) return Fail("the bytecode runs off the method");
      if (in.opcode == 0x87) {
        const SpinOperand* v = Operand(in, SpinOperandKind::Variable);
        if (v && in.size() == 3 && v->value >= in.end && v->value < end_) limit = std::min<std::int64_t>(limit, v->value);
      }
      startIndex_[static_cast<std::size_t>(pc - start_)] = static_cast<std::int32_t>(list_.size());
      endIndex_[static_cast<std::size_t>(in.end - start_)] = static_cast<std::int32_t>(list_.size());
      list_.push_back(in);
      if (in.opcode == 0x32) {
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
    if (list_.empty() || list_.back().opcode != 0x32) return Fail("the method does not end with RETURN");
    stepBudget_ = 12 * static_cast<long>(list_.size()) + 200;
    lastReturn_ = list_.back().address;
    // The strings the code names fill the rest of the method, one after the
    // other; at most the object's zero padding follows.
    std::set<std::int64_t> strings;
    for (const SpinInstruction& in : list_) {
      const SpinOperand* v = Operand(in, SpinOperandKind::Variable);
      if (in.opcode == 0x87 && v && in.size() == 3 && v->value >= codeEnd_ && v->value < end_) strings.insert(v->value);
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
    for (const SpinInstruction& in : list_) {
      const std::int64_t at = in.address;
      if (!CompilerForms(in)) return Fail("an operand in a form the compiler does not write");
      const std::int64_t target = Target(in);
      if (target < 0) continue;
      if (target < start_ || target > codeEnd_) return Fail("a jump leaves the method");
      if (target <= at && in.opcode != 0x09) backTargets_[target].push_back(at);
    }
    return true;
  }

  // Instructions that end or shape a statement, never inside an expression.
  static bool Structural(const SpinInstruction& in) {
    const auto op = in.opcode;
    return op == 0x04 || (op >= 0x08 && op <= 0x0E) || op == 0x14 || (op >= 0x30 && op <= 0x33);
  }

  // Jump offsets and variable offsets take one byte whenever they fit (the
  // compiler's choice); a string's address always takes two.
  bool CompilerForms(const SpinInstruction& in) const {
    for (std::size_t i = 0; i < in.operandCount; ++i) {
      const SpinOperand& o = in.operands[i];
      const std::int64_t begin = i == 0 ? in.address + 1 : in.operands[i - 1].end;
      const std::int64_t bytes = o.end - begin;
      if (o.kind == SpinOperandKind::JumpOffset || o.kind == SpinOperandKind::EffectJump) {
        const bool fits = bytes == 1 ? o.value >= -64 && o.value <= 63 : o.value + 1 < -64 || o.value + 1 > 63;
        if (!fits) return false;
      } else if (o.kind == SpinOperandKind::Variable && !o.fromOpcode && in.opcode >= 0x80 && in.opcode < 0xE0) {
        const bool string = in.opcode == 0x87 && bytes == 2 && o.value >= in.end && o.value < end_;
        if (!string && (bytes == 2) != (o.value > 0x7F)) return false;
      }
    }
    return true;
  }

  int IndexAt(std::int64_t pc) const {
    if (pc < start_ || pc - start_ >= static_cast<std::int64_t>(startIndex_.size())) return -1;
    return startIndex_[static_cast<std::size_t>(pc - start_)];
  }

  const SpinInstruction* EndingAt(std::int64_t end) const {
    if (end < start_ || end - start_ >= static_cast<std::int64_t>(endIndex_.size())) return nullptr;
    const std::int32_t i = endIndex_[static_cast<std::size_t>(end - start_)];
    return i < 0 ? nullptr : &list_[static_cast<std::size_t>(i)];
  }

  const SpinInstruction* At(std::int64_t pc) {
    const int i = IndexAt(pc);
    return i < 0 ? nullptr : &list_[static_cast<std::size_t>(i)];
  }

  void Emit(const std::string& text) { out_.push_back({indent_, text, static_cast<std::int32_t>(statementStart_)}); }

  static std::string Wrap(const Item& item, int maxLevel) {
    return item.level > maxLevel ? "(" + item.text + ")" : item.text;
  }

  static Item Expr(std::string text, int level = kTerm) {
    Item item;
    item.text = std::move(text);
    item.level = level;
    return item;
  }

  bool Pop(std::vector<Item>& stack, std::size_t base, Item& item, bool address = false) {
    if (stack.size() <= base || stack.back().kind != Item::Expr) return Fail("an operand is missing");
    if (stack.back().raw && !address) return Fail("a constant in a form the compiler does not write");
    item = std::move(stack.back());
    stack.pop_back();
    return true;
  }

  bool PopArgs(std::vector<Item>& stack, std::size_t base, std::size_t count, std::vector<std::string>& args) {
    args.assign(count, {});
    for (std::size_t i = count; i-- > 0;) {
      Item a;
      if (!Pop(stack, base, a)) return false;
      args[i] = a.text;
    }
    return true;
  }

  static std::string Join(const std::vector<std::string>& parts) {
    std::string s;
    for (std::size_t i = 0; i < parts.size(); ++i) s += (i ? ", " : "") + parts[i];
    return s;
  }


  // Statements from..to at the given indent; the stack may hold values left
  // for the caller (a post-test condition, the repeat variable's bounds).
  bool Block(std::int64_t from, std::int64_t to, int indent, Loop* loop, std::vector<Item>& stack) {
    const int savedIndent = indent_;
    indent_ = indent;
    // Bounds for bytes that are no compiled method: nesting and the work of
    // trying both readings of ambiguous jumps.
    if (indent > 40) return Fail("the blocks nest deeper than a source would");
    if (++blocks_ > stepBudget_) {
      exhausted_ = true;
      return Fail("the method's jumps admit too many readings");
    }
    std::int64_t pc = from;
    const std::size_t base = 0;
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
            const std::size_t lines = out_.size();
            const std::string savedFailure = failure_;
            std::int64_t after = pc;
            if (RepeatAt(pc, source, indent, after)) {
              pc = after;
              indent_ = indent;
              continue;
            }
            if (!loop || loop->next != pc || exhausted_) return false;
            out_.resize(lines);
            failure_ = savedFailure;
            indent_ = indent;
            rejected_.insert({pc, source});
            continue;
          }
        }
      }
      const SpinInstruction* in = At(pc);
      if (!in) return Fail("a jump lands inside an instruction");
      std::int64_t next = in->end;
      if (!Step(*in, stack, base, loop, to, next)) return false;
      // No source line is this long: the bytes are no compiled expression.
      if (!stack.empty() && stack.back().text.size() > kLongestExpression)
        return Fail("an expression longer than any source line");
      pc = next;
    }
    if (pc != to) return Fail("a block ends inside an instruction");
    indent_ = savedIndent;
    return true;
  }

  // Where the values a loop leaves for its closing instruction start: the
  // smallest instruction start from which from..to pushes exactly count values
  // and writes no statement; -1 when none does.
  std::int64_t TailStart(std::int64_t from, std::int64_t to, std::size_t count) {
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
  std::optional<Item> Expression(std::int64_t from, std::int64_t to) {
    std::optional<std::vector<Item>> values = Values(from, to, 1);
    if (!values) return std::nullopt;
    return values->front();
  }

  // Pure expressions from..to: count values, no statements.
  std::optional<std::vector<Item>> Values(std::int64_t from, std::int64_t to, std::size_t count,
                                          bool* wroteStatement = nullptr) {
    std::vector<Item> stack;
    const std::size_t lines = out_.size();
    const std::string savedFailure = failure_;
    std::int64_t pc = from;
    while (pc < to) {
      const SpinInstruction* in = At(pc);
      if (!in || Structural(*in)) break;
      std::int64_t next = in->end;
      if (!Step(*in, stack, 0, nullptr, to, next)) break;
      if (!stack.empty() && stack.back().text.size() > kLongestExpression) break;
      if (out_.size() != lines) {
        if (wroteStatement) *wroteStatement = true;
        break;
      }
      pc = next;
    }
    bool ok = failure_ == savedFailure && pc == to && out_.size() == lines && stack.size() == count;
    for (const Item& item : stack) ok = ok && item.kind == Item::Expr && !item.raw;
    out_.resize(lines);
    failure_ = savedFailure;
    if (!ok) return std::nullopt;
    return stack;
  }

  bool RepeatAt(std::int64_t pc, std::int64_t source, int indent, std::int64_t& after) {
    const SpinInstruction& j = *At(source);
    const std::int64_t quit = j.end;
    after = quit;
    std::vector<Item> stack;
    if (j.opcode == 0x04) {
      // A pre-test loop: the condition jumps past the back jump.
      for (auto i = static_cast<std::size_t>(IndexAt(pc)); i < list_.size() && list_[i].address < source; ++i) {
        const SpinInstruction& c = list_[i];
        if ((c.opcode == 0x0A || c.opcode == 0x0B) && Target(c) == quit) {
          std::optional<Item> cond = Expression(pc, c.address);
          if (!cond) break;
          statementStart_ = pc;
          Emit(std::string(c.opcode == 0x0A ? "repeat while " : "repeat until ") + cond->text);
          Loop loop{pc, quit, false};
          if (!Block(c.end, source, indent + 1, &loop, stack)) return false;
          indent_ = indent;
          return stack.empty() || Fail("a loop body leaves values on the stack");
        }
      }
      Emit("repeat");
      Loop loop{pc, quit, false};
      if (!Block(pc, source, indent + 1, &loop, stack)) return false;
      indent_ = indent;
      return stack.empty() || Fail("a loop body leaves values on the stack");
    }
    if (j.opcode == 0x0A || j.opcode == 0x0B) {
      Emit("repeat");
      Loop loop{TailStart(pc, source, 1), quit, false};
      if (!Block(pc, source, indent + 1, &loop, stack)) return false;
      indent_ = indent;
      if (stack.size() != 1 || stack[0].kind != Item::Expr || stack[0].raw)
        return Fail("a post-test loop has no condition");
      statementStart_ = loop.next >= 0 ? loop.next : source;
      Emit(std::string(j.opcode == 0x0B ? "while " : "until ") + stack[0].text);
      return true;
    }
    const SpinOperand* effect = Operand(j, SpinOperandKind::Effect);
    if (effect && ((effect->value & 0xFB) == 0x02)) {
      const bool step = (effect->value & 0x04) != 0;
      // The line before the loop set the variable to its start value.
      if (out_.empty() || out_.back().indent != indent) return Fail("a repeat variable loop has no start");
      const BodyLine setLine = out_.back();
      out_.pop_back();
      statementStart_ = setLine.offset;
      Emit("repeat");  // replaced below once the bounds are known
      const std::size_t headLine = out_.size() - 1;
      std::size_t left = step ? 3 : 2;
      if (j.opcode >= 0x80 && j.opcode < 0xE0) left += ((j.opcode & 0x10) ? 1u : 0u) + (((j.opcode >> 2) & 3) == 0 ? 1u : 0u);
      Loop loop{TailStart(pc, source, left), quit, false};
      if (!Block(pc, source, indent + 1, &loop, stack)) return false;
      indent_ = indent;
      // The loop's own instruction: the variable with its index, then the effect.
      std::string target;
      if (!VariableText(j, stack, 0, target)) return false;
      Item from, to, by;
      if (!Pop(stack, 0, to) || !Pop(stack, 0, from)) return false;
      if (step && !Pop(stack, 0, by)) return false;
      if (!stack.empty()) return Fail("a repeat variable loop leaves values on the stack");
      if (setLine.text != target + " := " + from.text) return Fail("a repeat variable loop starts differently");
      std::string head_text = "repeat " + target + " from " + from.text + " to " + to.text;
      if (step) head_text += " step " + by.text;
      out_[headLine].text = head_text;
      return true;
    }
    return Fail("a backward jump matches no loop the compiler writes");
  }

  // The text of the variable an access instruction names, popping its index
  // and, for byte[]/word[]/long[], its base address.
  bool VariableText(const SpinInstruction& in, std::vector<Item>& stack, std::size_t base, std::string& text) {
    const int op = static_cast<int>(in.opcode);
    if (op >= 0x40 && op < 0x80) {
      const auto offset = static_cast<std::int32_t>((op & 0x1C));
      if (op & 0x20) {
        text = naming_.local(offset);
        facts_.maxLocal = std::max(facts_.maxLocal, offset);
        facts_.localOffsets.insert(offset);
      } else {
        const DeclaredName n = naming_.var(offset, 4);
        text = n.name;
        Record(facts_.varSizes, offset, 4);
      }
      return true;
    }
    if (op >= 0x80 && op < 0xE0) {
      const int size = (op >> 5) & 3;
      const bool indexed = (op & 0x10) != 0;
      const int where = (op >> 2) & 3;
      std::string index;
      if (indexed) {
        Item i;
        if (!Pop(stack, base, i)) return false;
        index = i.text;
      }
      const SpinOperand* v = Operand(in, SpinOperandKind::Variable);
      const auto offset = static_cast<std::int32_t>(v ? v->value : 0);
      static const char* const sizes[3] = {"byte", "word", "long"};
      switch (where) {
        case 0: {
          Item address;
          if (!Pop(stack, base, address)) return false;
          text = std::string(sizes[size]) + "[" + address.text + "]" + (indexed ? "[" + index + "]" : "");
          return true;
        }
        case 1: {
          const int bytes = 1 << size;
          text = NamedAccess(naming_.dat(offset, bytes), bytes, indexed, index);
          Record(facts_.datSizes, offset, bytes);
          return true;
        }
        case 2: {
          const int bytes = 1 << size;
          text = NamedAccess(naming_.var(offset, bytes), bytes, indexed, index);
          Record(facts_.varSizes, offset, bytes);
          if (!indexed && size == 2 && offset < 32) return Fail("a long variable is accessed in the long form");
          return true;
        }
        default: {
          const int bytes = 1 << size;
          text = NamedAccess(DeclaredName{naming_.local(offset), 4}, bytes, indexed, index);
          facts_.maxLocal = std::max(facts_.maxLocal, offset);
          facts_.localOffsets.insert(offset);
          if ((offset & 3) != 0) return Fail("a local is accessed off its long");
          if (!indexed && size == 2 && offset < 32) return Fail("a long local is accessed in the long form");
          return true;
        }
      }
    }
    return Fail("not a variable access");
  }

  static void Record(std::map<std::int32_t, int>& sizes, std::int32_t offset, int size) {
    int& s = sizes[offset];
    s = std::max(s, size);
  }

  // The size bits an increment or decrement of this access carries.
  static int SizeBits(const SpinInstruction& in) {
    const int op = static_cast<int>(in.opcode);
    if (op >= 0x40 && op < 0x80) return 6;
    if (op >= 0x80 && op < 0xE0) return ((((op >> 5) & 3) + 1) & 3) << 1;
    if (op == 0x3F || op == 0x26) return 6;
    return 0;  // a register with a bit index or range
  }

  // An assignment through the effect byte: the target's text is known.
  bool Effect(const SpinInstruction& in, int effect, const std::string& target, std::vector<Item>& stack,
              std::size_t base) {
    const bool push = (effect & 0x80) != 0;
    const int e = effect & 0x7F;
    std::string text;
    int level = kTerm;
    if (e >= 0x60) return Fail("an assignment effect the compiler does not write");
    if (e >= 0x40) {
      const int op = e & 0x1F;
      if (const char* u = UnaryOf(op)) {
        if (push) return Fail("a unary assignment pushes its value");
        text = std::string(u) + (std::string(u) == "NOT" ? " " : "") + target;
      } else {
        const BinaryOp b = BinaryOf(op);
        if (!b.text) return Fail("an assignment uses an unknown operator");
        Item value;
        if (!Pop(stack, base, value)) return false;
        const std::string bt = b.text;
        if ((bt == "&" || bt == "|" || bt == "^") && value.isConst && (value.value > 9 || value.value < -1))
          value.text = HexText(value.value);
        text = target + " " + b.text + "= " + value.text;
        level = kAssign;
      }
    } else if (e == 0x00) {
      if (!push) return Fail("a write through USING without push");
      Item value;
      if (!Pop(stack, base, value)) return false;
      text = target + " := " + value.text;
      level = kAssign;
    } else if (e >= 0x20 && e < 0x40) {
      if ((e & 6) != SizeBits(in) || (e & 1)) return Fail("an increment names another size");
      switch (e & 0x38) {
        case 0x20: text = "++" + target; break;
        case 0x28: text = target + "++"; break;
        case 0x30: text = "--" + target; break;
        default: text = target + "--"; break;
      }
    } else {
      switch (e) {
        case 0x08: text = "?" + target; break;
        case 0x0C: text = target + "?"; break;
        case 0x10: text = "~" + target; break;
        case 0x14: text = "~~" + target; break;
        case 0x18: text = target + "~"; break;
        case 0x1C: text = target + "~~"; break;
        default: return Fail("an assignment effect the compiler does not write");
      }
    }
    if (push) {
      stack.push_back(Expr(text, level));
    } else {
      if (stack.size() != base) return Fail("a statement inside an expression");
      Emit(text);
    }
    return true;
  }

  bool Builtin(const char* name, std::size_t args, bool returns, std::vector<Item>& stack, std::size_t base) {
    std::vector<std::string> a;
    if (!PopArgs(stack, base, args, a)) return false;
    const std::string text = std::string(name) + (args ? "(" + Join(a) + ")" : "");
    if (returns) {
      stack.push_back(Expr(text));
    } else {
      if (stack.size() != base) return Fail("a statement inside an expression");
      Emit(text);
    }
    return true;
  }

  std::string StringAt(std::int64_t at, bool& ok) {
    std::string text;
    bool inQuote = false;
    std::vector<std::string> parts;
    std::string quoted;
    ok = false;
    for (std::int64_t k = at; k < end_; ++k) {
      const std::uint8_t c = bytes_[static_cast<std::size_t>(k)];
      if (c == 0) {
        ok = true;
        break;
      }
      if (c >= 0x20 && c < 0x7F && c != '"') {
        quoted += static_cast<char>(c);
        inQuote = true;
      } else {
        if (inQuote) parts.push_back("\"" + quoted + "\"");
        quoted.clear();
        inQuote = false;
        parts.push_back(std::to_string(c));
      }
    }
    if (inQuote) parts.push_back("\"" + quoted + "\"");
    if (parts.empty()) ok = false;
    return "string(" + Join(parts) + ")";
  }

  // next or quit from inside a loop, with the case pops before it.
  bool LoopJump(const SpinInstruction& in, Loop* loop, bool& handled) {
    handled = false;
    if (!loop) return true;
    const std::int64_t target = Target(in);
    if (in.opcode == 0x04 && target == loop->quit && !loop->count) {
      Emit("quit");
      handled = true;
    } else if (in.opcode == 0x0B && loop->count && target == loop->quit) {
      Emit("quit");
      handled = true;
    } else if (in.opcode == 0x04 && (target == loop->next || (loop->next < 0 && target > in.address && target < loop->quit))) {
      if (loop->next < 0) loop->next = target;
      Emit("next");
      handled = true;
    }
    return true;
  }

  bool Step(const SpinInstruction& in, std::vector<Item>& stack, std::size_t base, Loop* loop, std::int64_t to,
            std::int64_t& next) {
    // Bytes that are no compiled method may admit many readings: the work
    // has a bound, far above what the largest compiled methods need.
    if (++steps_ > stepBudget_) {
      exhausted_ = true;
      return Fail("the method's jumps admit too many readings");
    }
    const int op = static_cast<int>(in.opcode);
    switch (op) {
      case 0x00: case 0x01: case 0x02: case 0x03: {
        Item a;
        a.kind = Item::Anchor;
        a.anchor = op;
        stack.push_back(a);
        return true;
      }
      case 0x05: case 0x06: case 0x07: {
        std::string index;
        if (op == 0x07) {
          Item i;
          if (!Pop(stack, base, i)) return false;
          index = i.text;
        }
        std::vector<std::string> args;
        while (!stack.empty() && stack.back().kind == Item::Expr && stack.size() > base) {
          if (stack.back().raw) return Fail("a constant in a form the compiler does not write");
          args.insert(args.begin(), stack.back().text);
          stack.pop_back();
        }
        if (stack.size() <= base || stack.back().kind != Item::Anchor) return Fail("a call without its frame");
        const int anchor = stack.back().anchor;
        stack.pop_back();
        std::string name;
        if (op == 0x05) {
          const int method = static_cast<int>(Operand(in, SpinOperandKind::MethodIndex)->value);
          name = naming_.method(method);
          facts_.callArguments[method] = static_cast<int>(args.size());
          if (naming_.parameters && naming_.parameters(method) != static_cast<int>(args.size()))
            return Fail("a call passes another number of arguments than the method takes");
        } else {
          const int entry = static_cast<int>(Operand(in, SpinOperandKind::ObjectIndex)->value);
          const int method = static_cast<int>(Operand(in, SpinOperandKind::ObjectMethod)->value);
          name = naming_.child(entry) + (op == 0x07 ? "[" + index + "]" : "") + "." + naming_.childMethod(entry, method);
          facts_.childCallArguments[{entry, method}] = static_cast<int>(args.size());
          if (naming_.childParameters && naming_.childParameters(entry, method) != static_cast<int>(args.size()))
            return Fail("a call passes another number of arguments than the method takes");
          (op == 0x07 ? facts_.indexedChildEntries : facts_.singleChildEntries).push_back(entry);
        }
        std::string text = name + (args.empty() ? "" : "(" + Join(args) + ")");
        if (anchor >= 2) text = "\\" + text;
        if (anchor == 0 || anchor == 2) {
          stack.push_back(Expr(text));
        } else {
          if (stack.size() != base) return Fail("a statement inside an expression");
          Emit(text);
        }
        return true;
      }
      case 0x04: case 0x0B: {
        if (stack.size() == base) {
          bool handled = false;
          LoopJump(in, loop, handled);
          if (handled) return true;
        }
        if (op == 0x04) return Fail("a jump matches no structure");
        [[fallthrough]];
      }
      case 0x0A:
        return IfAt(in, stack, base, loop, to, next);
      case 0x08: {
        Item count;
        if (!Pop(stack, base, count)) return false;
        if (stack.size() != base) return Fail("a counted loop inside an expression");
        const std::int64_t quit = Target(in);
        const SpinInstruction* djnz = quit > in.end && quit <= to ? EndingAt(quit) : nullptr;
        if (!djnz || djnz->opcode != 0x09 || Target(*djnz) != in.end)
          return Fail("a counted loop without its closing jump");
        Emit("repeat " + count.text);
        Loop inner{djnz->address, quit, true};
        std::vector<Item> body;
        const int indent = indent_;
        if (!Block(in.end, djnz->address, indent + 1, &inner, body)) return false;
        indent_ = indent;
        if (!body.empty()) return Fail("a loop body leaves values on the stack");
        next = quit;
        return true;
      }
      case 0x0D: case 0x0E:
        return CaseAt(in, stack, base, loop, next);
      case 0x10: case 0x11: case 0x12: case 0x13: {
        std::string value;
        Item v;
        if (!Pop(stack, base, v)) return false;
        value = v.text;
        if (op & 2) {
          Item lo;
          if (!Pop(stack, base, lo)) return false;
          value = lo.text + ".." + value;
        }
        if (stack.size() > base && stack.back().kind == Item::Look) {
          if ((stack.back().lookOp & 1) != (op & 1)) return Fail("a lookup mixes lookup and lookdown");
          stack.back().values.push_back(value);
          return true;
        }
        Item primary, done, zero;
        if (!Pop(stack, base, primary) || !Pop(stack, base, done, true) || !Pop(stack, base, zero)) return false;
        if (!done.isConst || !zero.isConst || (zero.value != 0 && zero.value != 1))
          return Fail("a lookup without its start");
        Item look;
        look.kind = Item::Look;
        look.primary = primary.text;
        look.values.push_back(value);
        look.lookOp = op & 1;
        look.zeroBased = zero.value == 0;
        look.value = done.value;
        stack.push_back(look);
        return true;
      }
      case 0x0F: {
        if (stack.size() <= base || stack.back().kind != Item::Look) return Fail("a lookup end without its start");
        Item look = stack.back();
        stack.pop_back();
        if (look.value != in.end) return Fail("a lookup's end address differs");
        std::string name = look.lookOp ? "lookdown" : "lookup";
        if (look.zeroBased) name += "z";
        stack.push_back(Expr(name + "(" + look.primary + ": " + Join(look.values) + ")"));
        return true;
      }
      case 0x14: {
        Item n;
        if (!Pop(stack, base, n)) return false;
        const SpinInstruction* j = At(in.end);
        if (!n.isConst || !j || stack.size() != base) return Fail("a stack pop outside a loop jump");
        bool handled = false;
        LoopJump(*j, loop, handled);
        if (!handled) return Fail("a stack pop outside a loop jump");
        next = j->end;
        return true;
      }
      case 0x15: {
        Item stackExpr, method;
        if (!Pop(stack, base, stackExpr) || !Pop(stack, base, method)) return false;
        if (!method.isConst) return Fail("a cog start without its method");
        const int index = static_cast<int>(method.value & 0xFF);
        const auto count = static_cast<std::size_t>((method.value >> 8) & 0xFF);
        std::vector<std::string> args;
        if (!PopArgs(stack, base, count, args)) return false;
        facts_.callArguments[index] = static_cast<int>(count);
        Item run;
        run.kind = Item::Run;
        run.text = naming_.method(index) + (count ? "(" + Join(args) + ")" : "") + ", " + stackExpr.text;
        if (naming_.parameters && naming_.parameters(index) != static_cast<int>(count))
          return Fail("a cog start passes another number of arguments than the method takes");
        stack.push_back(run);
        return true;
      }
      case 0x16: return Builtin("strsize", 1, true, stack, base);
      case 0x17: return Builtin("strcomp", 2, true, stack, base);
      case 0x18: return Builtin("bytefill", 3, false, stack, base);
      case 0x19: return Builtin("wordfill", 3, false, stack, base);
      case 0x1A: return Builtin("longfill", 3, false, stack, base);
      case 0x1B: return Builtin("waitpeq", 3, false, stack, base);
      case 0x1C: return Builtin("bytemove", 3, false, stack, base);
      case 0x1D: return Builtin("wordmove", 3, false, stack, base);
      case 0x1E: return Builtin("longmove", 3, false, stack, base);
      case 0x1F: return Builtin("waitpne", 3, false, stack, base);
      case 0x20: {
        if (stack.size() >= base + 2 && stack[stack.size() - 2].isConst && stack[stack.size() - 2].value == 0x80 &&
            stack.back().isConst && stack.back().value == 0) {
          stack.resize(stack.size() - 2);
          if (stack.size() != base) return Fail("a statement inside an expression");
          Emit("reboot");
          return true;
        }
        return Builtin("clkset", 2, false, stack, base);
      }
      case 0x21: return Builtin("cogstop", 1, false, stack, base);
      case 0x22: return Builtin("lockret", 1, false, stack, base);
      case 0x23: return Builtin("waitcnt", 1, false, stack, base);
      case 0x24: case 0x25: case 0x26: {
        Item index;
        if (!Pop(stack, base, index)) return false;
        const std::string target = "spr[" + index.text + "]";
        return Access(in, op - 0x24, target, stack, base);
      }
      case 0x28: case 0x2C: {
        const bool push = op == 0x28;
        if (stack.size() > base && stack.back().kind == Item::Run) {
          const std::string text = "cognew(" + stack.back().text + ")";
          stack.pop_back();
          if (!push && stack.size() != base) return Fail("a statement inside an expression");
          if (push) stack.push_back(Expr(text)); else Emit(text);
          return true;
        }
        if (stack.size() >= base + 3 && stack[stack.size() - 2].datAddress >= 0)
          facts_.asmStarts.push_back(stack[stack.size() - 2].datAddress);
        std::vector<std::string> a;
        if (!PopArgs(stack, base, 3, a)) return false;
        if (a[0] == "-1") {
          const std::string text = "cognew(" + a[1] + ", " + a[2] + ")";
          if (!push && stack.size() != base) return Fail("a statement inside an expression");
          if (push) stack.push_back(Expr(text)); else Emit(text);
          return true;
        }
        const std::string text = "coginit(" + Join(a) + ")";
        if (!push && stack.size() != base) return Fail("a statement inside an expression");
        if (push) stack.push_back(Expr(text)); else Emit(text);
        return true;
      }
      case 0x27: return Builtin("waitvid", 2, false, stack, base);
      case 0x29: return Builtin("locknew", 0, true, stack, base);
      case 0x2A: return Builtin("lockset", 1, true, stack, base);
      case 0x2B: return Builtin("lockclr", 1, true, stack, base);
      case 0x2D: return Builtin("locknew", 0, false, stack, base);
      case 0x2E: return Builtin("lockset", 1, false, stack, base);
      case 0x2F: return Builtin("lockclr", 1, false, stack, base);
      case 0x30: Emit("abort"); return stack.size() == base || Fail("abort inside an expression");
      case 0x32: Emit("return"); return stack.size() == base || Fail("return inside an expression");
      case 0x31: case 0x33: {
        Item v;
        if (!Pop(stack, base, v)) return false;
        if (stack.size() != base) return Fail("return inside an expression");
        Emit(std::string(op == 0x31 ? "abort " : "return ") + v.text);
        return true;
      }
      case 0x34: case 0x35: case 0x36: case 0x37: case 0x38: case 0x39: case 0x3A: case 0x3B: {
        std::int64_t value = op <= 0x36 ? op - 0x35 : Operand(in, SpinOperandKind::Constant)->value;
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
        if (op == 0x38 && value == 4 && after && after->opcode == 0x80) {
          stack.push_back(Expr("clkmode"));
          next = after->end;
          return true;
        }
        Item c = Expr(ConstantText(value));
        c.isConst = true;
        c.value = value;
        // The end address of a case or lookup is written in the long form.
        c.raw = ConstantBytes(value) != actual;
        if (c.raw && op != 0x38 && op != 0x39) return Fail("a constant in a form the compiler does not write");
        stack.push_back(c);
        return true;
      }
      case 0x3D: case 0x3E: case 0x3F: {
        const SpinOperand* r = Operand(in, SpinOperandKind::Register);
        if (!r) return Fail("a register operation without its register");
        const int rb = static_cast<int>(r->value);
        const int access = (rb >> 5) & 3;
        const int reg = rb & 0x1F;
        if (op == 0x3F && rb == 0x89) {
          stack.push_back(Expr("cogid"));
          return true;
        }
        if (op == 0x3F && rb == 0x8F) return CogInitMethod(in, stack, base, next);
        const char* name = RegisterName(reg);
        if (!name || access == 3 || (rb & 0x80) == 0) return Fail("a register the compiler does not name");
        std::string target = name;
        if (op == 0x3D) {
          Item bit;
          if (!Pop(stack, base, bit)) return false;
          target += "[" + bit.text + "]";
        } else if (op == 0x3E) {
          Item hi, lo;
          if (!Pop(stack, base, lo) || !Pop(stack, base, hi)) return false;
          target += "[" + hi.text + ".." + lo.text + "]";
        }
        return Access(in, access, target, stack, base);
      }
      default:
        break;
    }
    if (op >= 0x40 && op < 0xE0) {
      const int access = op & 3;
      const int where = op >= 0x80 ? (op >> 2) & 3 : -1;
      const SpinOperand* v = Operand(in, SpinOperandKind::Variable);
      if (op == 0x97 && v && v->value == 0) {
        Item a;
        if (!Pop(stack, base, a)) return false;
        stack.push_back(Expr("@@" + Wrap(a, kTerm)));
        return true;
      }
      if (where == 1 && access == 3 && op == 0x87 && v && v->value >= codeEnd_ && v->value < end_) {
        bool ok = false;
        std::string s = StringAt(v->value, ok);
        if (!ok) return Fail("a string without its end");
        stack.push_back(Expr(s));
        return true;
      }
      if (where == 0 && access == 0 && op != 0x90 && op != 0xB0 && op != 0xD0) {
        // clkmode, clkfreq and chipver read fixed hub places.
        if (stack.size() > base && stack.back().isConst && !(op & 0x10)) {
          const std::int64_t a = stack.back().value;
          const char* special = op == 0xC0 && a == 0 ? "clkfreq"
                                : op == 0x80 && a == -1 ? "chipver" : nullptr;
          if (special) {
            stack.back() = Expr(special);
            return true;
          }
        }
      }
      std::string target;
      if (!VariableText(in, stack, base, target)) return false;
      if (!Access(in, access, target, stack, base)) return false;
      // @label of a DAT label: an assembly program, when cognew or coginit starts it.
      if (where == 1 && access == 3 && !(op & 0x10) && v) stack.back().datAddress = static_cast<std::int32_t>(v->value);
      return true;
    }
    if (op >= 0xE0) {
      const int mathOp = op & 0x1F;
      if (const char* u = UnaryOf(mathOp)) {
        Item a;
        if (!Pop(stack, base, a)) return false;
        std::string operand;
        if (mathOp == 0x1F) {
          operand = Wrap(a, kNot);
          stack.push_back(Expr(std::string("NOT ") + operand, kNot));
        } else {
          operand = Wrap(a, kTerm);
          if ((mathOp == 0x06 && a.isConst) || (mathOp == 0x06 && !operand.empty() && operand[0] == '-')) operand = "(" + a.text + ")";
          stack.push_back(Expr(u + operand, kTerm));
        }
        return true;
      }
      const BinaryOp b = BinaryOf(mathOp);
      if (!b.text) return Fail("an unknown operator");
      Item right, left;
      if (!Pop(stack, base, right) || !Pop(stack, base, left)) return false;
      // Masks read best in hex.
      const std::string bt = b.text;
      if (bt == "&" || bt == "|" || bt == "^") {
        for (Item* side : {&left, &right})
          if (side->isConst && (side->value > 9 || side->value < -1)) side->text = HexText(side->value);
      }
      // Appended in place: a long chain of operators costs no copies of its left side.
      std::string text = left.level > b.level ? "(" + left.text + ")" : std::move(left.text);
      text += ' ';
      text += b.text;
      text += ' ';
      text += Wrap(right, b.level - 1);
      stack.push_back(Expr(std::move(text), b.level));
      return true;
    }
    return Fail("an instruction the compiler does not write here");
  }

  // push, pop, USING or address of a named target.
  bool Access(const SpinInstruction& in, int access, const std::string& target, std::vector<Item>& stack,
              std::size_t base) {
    switch (access) {
      case 0:
        stack.push_back(Expr(target));
        return true;
      case 1: {
        Item value;
        if (!Pop(stack, base, value)) return false;
        if (stack.size() != base) return Fail("an assignment inside an expression without push");
        Emit(target + " := " + value.text);
        return true;
      }
      case 2: {
        const SpinOperand* e = Operand(in, SpinOperandKind::Effect);
        if (!e) return Fail("an assignment without its effect");
        return Effect(in, static_cast<int>(e->value), target, stack, base);
      }
      default:
        stack.push_back(Expr("@" + target));
        return true;
    }
  }

  // coginit(id, method(args), stack): after RUN, the cog id is stored below the
  // new frame before COGINIT.
  bool CogInitMethod(const SpinInstruction& in, std::vector<Item>& stack, std::size_t base, std::int64_t& next) {
    const std::int64_t p = in.end;
    static const std::uint8_t tail[4] = {0x37, 0x61, 0xD1, 0x2C};
    if (p + 4 > codeEnd_) return Fail("a cog start without its tail");
    for (int k = 0; k < 4; ++k)
      if (bytes_[static_cast<std::size_t>(p + k)] != tail[k]) return Fail("a cog start without its tail");
    Item id;
    if (!Pop(stack, base, id)) return false;
    if (stack.size() <= base || stack.back().kind != Item::Run) return Fail("a cog start without its method");
    const std::string text = "coginit(" + id.text + ", " + stack.back().text + ")";
    stack.pop_back();
    if (stack.size() != base) return Fail("a statement inside an expression");
    Emit(text);
    next = p + 4;
    if (!At(next - 1) && !At(p + 3)) return Fail("a cog start's tail is not decoded");
    return true;
  }

  bool IfAt(const SpinInstruction& in, std::vector<Item>& stack, std::size_t base, Loop* loop, std::int64_t to,
            std::int64_t& next) {
    Item cond;
    if (!Pop(stack, base, cond)) return false;
    if (stack.size() != base) return Fail("a condition inside an expression");
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
      if (j.opcode == 0x04 && e >= t && e <= to && !quitJump && !backJump) {
        thenEnd = j.address;
        elseEnd = e;
      }
    }
    const int indent = indent_;
    const std::size_t lines = out_.size();
    const std::string savedFailure = failure_;
    const std::int64_t start = statementStart_;
    if (IfBlocks(in, cond, t, thenEnd, elseEnd, indent, loop, next)) return true;
    if (exhausted_ || (elseEnd != t && !(loop && elseEnd == loop->next))) return false;
    // An empty else and the closing jump of an inner if look the same: read it
    // as the inner if's when the else does not fit.
    out_.resize(lines);
    failure_ = savedFailure;
    statementStart_ = start;
    indent_ = indent;
    return IfBlocks(in, cond, t, t, -1, indent, loop, next);
  }

  bool IfBlocks(const SpinInstruction& in, const Item& cond, std::int64_t t, std::int64_t thenEnd,
                std::int64_t elseEnd, int indent, Loop* loop, std::int64_t& next) {
    Emit(std::string(in.opcode == 0x0A ? "if " : "ifnot ") + cond.text);
    std::vector<Item> inner;
    if (!Block(in.end, thenEnd, indent + 1, loop, inner) || !inner.empty()) return Fail("an if block leaves values");
    indent_ = indent;
    next = t;
    if (elseEnd >= 0) {
      statementStart_ = t;
      const std::size_t elseLine = out_.size();
      Emit("else");
      if (!Block(t, elseEnd, indent + 1, loop, inner) || !inner.empty()) return Fail("an else block leaves values");
      indent_ = indent;
      // An else holding only an if is an elseif.
      const std::size_t first = elseLine + 1;
      if (first < out_.size()) {
        const std::string& head = out_[first].text;
        bool single = head.rfind("if ", 0) == 0 || head.rfind("ifnot ", 0) == 0;
        for (std::size_t k = first + 1; single && k < out_.size(); ++k) {
          if (out_[k].indent == indent + 1) {
            const std::string& h = out_[k].text;
            single = h == "else" || h.rfind("elseif ", 0) == 0 || h.rfind("elseifnot ", 0) == 0;
          }
        }
        if (single) {
          out_.erase(out_.begin() + static_cast<std::ptrdiff_t>(elseLine));
          out_[elseLine].text = "else" + out_[elseLine].text;
          for (std::size_t k = elseLine; k < out_.size(); ++k) out_[k].indent--;
        }
      }
      next = elseEnd;
    }
    return true;
  }

  bool CaseAt(const SpinInstruction& first, std::vector<Item>& stack, std::size_t base, Loop* loop,
              std::int64_t& next) {
    struct Value {
      std::string text;
      std::int64_t target;
    };
    std::vector<Value> values;
    auto take = [&](const SpinInstruction& in, std::vector<Item>& s) -> bool {
      Item v;
      if (!Pop(s, base, v)) return false;
      std::string text = v.text;
      if (in.opcode == 0x0E) {
        Item lo;
        if (!Pop(s, base, lo)) return false;
        text = lo.text + ".." + text;
      }
      values.push_back({text, Target(in)});
      return true;
    };
    if (!take(first, stack)) return false;
    if (stack.size() != base + 2) return Fail("a case inside an expression");
    const Item done = stack[base];
    const Item subject = stack[base + 1];
    if (!done.isConst) return Fail("a case without its end address");
    if (subject.raw) return Fail("a constant in a form the compiler does not write");
    std::int64_t pc = first.end;
    // Further values: pure expressions ending in CASE or CASER.
    for (;;) {
      std::int64_t p = pc;
      std::vector<Item> s(stack.begin(), stack.end());
      const std::size_t lines = out_.size();
      const std::string savedFailure = failure_;
      bool found = false;
      while (p < codeEnd_) {
        const SpinInstruction* in = At(p);
        if (!in) break;
        if (in->opcode == 0x0D || in->opcode == 0x0E) {
          const std::size_t need = in->opcode == 0x0D ? 1 : 2;
          if (s.size() == base + 2 + need && out_.size() == lines && failure_ == savedFailure) {
            found = take(*in, s);
            p = in->end;
          }
          break;
        }
        if (Structural(*in)) break;
        std::int64_t n = in->end;
        if (!Step(*in, s, base, nullptr, codeEnd_, n)) break;
        if (!s.empty() && s.back().text.size() > kLongestExpression) break;
        if (out_.size() != lines) break;
        p = n;
      }
      out_.resize(lines);
      failure_ = savedFailure;
      if (!found) break;
      pc = p;
    }
    stack.resize(base);
    std::vector<std::int64_t> targets;
    for (const Value& v : values)
      if (targets.empty() || targets.back() != v.target) targets.push_back(v.target);
    for (std::size_t k = 1; k < targets.size(); ++k)
      if (targets[k] <= targets[k - 1]) return Fail("case branches out of order");
    const std::int64_t end = done.value;
    auto byteAt = [&](std::int64_t a) { return a >= 0 && a < codeEnd_ ? bytes_[static_cast<std::size_t>(a)] : 0x100; };
    if (targets.front() <= pc || end <= targets.back() || byteAt(targets.front() - 1) != 0x0C ||
        byteAt(end - 1) != 0x0C)
      return Fail("a case whose layout the compiler does not write");
    const int indent = indent_;
    Emit("case " + subject.text);
    std::vector<Item> inner;
    // other: from after the values to the CASEDONE before the first branch.
    if (pc < targets.front() - 1) {
      std::vector<BodyLine> saved;
      const std::size_t at = out_.size();
      statementStart_ = pc;
      Emit("other:");
      out_.back().indent = indent + 1;
      if (!Block(pc, targets.front() - 1, indent + 2, loop, inner) || !inner.empty())
        return Fail("a case's other block leaves values");
      // other is written last.
      saved.assign(out_.begin() + static_cast<std::ptrdiff_t>(at), out_.end());
      out_.resize(at);
      for (std::size_t k = 0; k < targets.size(); ++k) {
        if (!CaseBranch(values, targets, k, end, indent, loop)) return false;
      }
      out_.insert(out_.end(), saved.begin(), saved.end());
    } else {
      if (At(pc) == nullptr || At(pc)->opcode != 0x0C) return Fail("a case without its end");
      for (std::size_t k = 0; k < targets.size(); ++k) {
        if (!CaseBranch(values, targets, k, end, indent, loop)) return false;
      }
    }
    indent_ = indent;
    next = end;
    return true;
  }

  template <typename Values>
  bool CaseBranch(const Values& values, const std::vector<std::int64_t>& targets, std::size_t k, std::int64_t end,
                  int indent, Loop* loop) {
    std::vector<std::string> labels;
    for (const auto& v : values)
      if (v.target == targets[k]) labels.push_back(v.text);
    const std::int64_t stop = (k + 1 < targets.size() ? targets[k + 1] : end) - 1;
    // Each branch ends with CASEDONE.
    const SpinInstruction* done = At(stop);
    if (!done || done->opcode != 0x0C) return Fail("a case branch without its end");
    statementStart_ = targets[k];
    Emit(Join(labels) + ":");
    out_.back().indent = indent + 1;
    std::vector<Item> inner;
    if (!Block(targets[k], stop, indent + 2, loop, inner) || !inner.empty())
      return Fail("a case branch leaves values");
    indent_ = indent;
    return true;
  }
};

}  // namespace

namespace {

// Digits grouped from the right with underscores, as Spin allows.
std::string Grouped(const std::string& digits, std::size_t group) {
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % group == 0) out += '_';
    out += digits[i];
  }
  return out;
}

}  // namespace

std::string DecimalText(std::int64_t value) {
  if (value < 0) return "-" + Grouped(std::to_string(-value), 3);
  return value > 9999 ? Grouped(std::to_string(value), 3) : std::to_string(value);
}

std::string HexText(std::int64_t wide) {
  const auto u = static_cast<std::uint32_t>(wide);
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(u >> shift) & 0xF];
  const std::size_t nz = hex.find_first_not_of('0');
  hex = hex.substr(std::min<std::size_t>(nz, 7));
  if (hex.size() % 2) hex = "0" + hex;
  return "$" + (hex.size() > 4 ? Grouped(hex, 4) : hex);
}

// The bits of a positive float between about 0.0005 and 16 million as the
// shortest decimal (at most seven digits, no exponent) that the compiler reads
// back to the same bits (it converts with strtod and rounds to float).
std::optional<std::string> FloatText(std::uint32_t bits) {
  if (bits < 0x3A000000u || bits >= 0x4B800000u) return std::nullopt;
  float real = 0;
  std::memcpy(&real, &bits, sizeof real);
  // to_chars and from_chars do not depend on the locale (a window may set one).
  for (int digits = 1; digits <= 7; ++digits) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, static_cast<double>(real), std::chars_format::general, digits);
    std::string t(text, written.ptr);
    if (t.find_first_of("eE") != std::string::npos) continue;
    if (t.find('.') == std::string::npos) t += ".0";
    double wide = 0;
    std::from_chars(t.data(), t.data() + t.size(), wide);
    const auto back = static_cast<float>(wide);
    std::uint32_t backBits = 0;
    std::memcpy(&backBits, &back, sizeof backBits);
    if (backBits == bits) return t;
  }
  return std::nullopt;
}

std::string ConstantText(std::int64_t wide) {
  const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
  if (value >= -9999 && value <= 9999) return std::to_string(value);
  // Bit patterns read best in hex (a few hex digits set, or all ones below a
  // bit), other numbers in decimal.
  const auto u = static_cast<std::uint32_t>(value);
  int hexDigits = 0;
  for (int shift = 0; shift < 32; shift += 4) hexDigits += ((u >> shift) & 0xF) != 0;
  const bool pattern = hexDigits <= 2 || (u & (u + 1)) == 0 || value < -65535;
  // Floats (1.0 is 1_065_353_216) read as floats, unless the bits are one bit or all below one.
  if (value > 0 && value % 1000 != 0 && !std::has_single_bit(u) && !std::has_single_bit(u + 1)) {
    if (std::optional<std::string> real = FloatText(u)) return *real;
  }
  if (pattern && !(value > 0 && value % 1000 == 0)) return HexText(value);
  if (value < 0) return "-" + Grouped(std::to_string(-static_cast<std::int64_t>(value)), 3);
  return Grouped(std::to_string(value), 3);
}

MethodBody DecompileMethod(std::span<const std::uint8_t> object, std::int32_t start, std::int32_t end,
                           const BodyNaming& naming, BodyFacts& facts) {
  Decompiler d(object, start, end, naming, facts);
  return d.Run();
}

}  // namespace brevin::recovery
