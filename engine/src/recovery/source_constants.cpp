// Cuts a Spin source into the compiler's elements, evaluates constant
// expressions by Spin's operator levels over 32-bit integers as the compiler
// computes them, and reads the CON blocks with them.
#include "recovery/source_constants.h"
#include "brevin/text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "recovery/spin_names.h"

namespace brevin::recovery {
namespace {

using Kind = SourceElementKind;
using Element = SourceElement;
using Span = SourceElements;

bool WordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Cuts the source into elements, as the compiler reads it.
class Elements {
 public:
  explicit Elements(std::string_view text) : text_(text) {}

  std::vector<Element> All() {
    std::vector<Element> out;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '\r' || c == '\n') {
        at_ += c == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n' ? 2U : 1U;
        out.push_back({Kind::End, "", std::nullopt, at_, at_});
      } else if (c == '\'') {
        while (at_ < text_.size() && text_[at_] != '\r' && text_[at_] != '\n') ++at_;
      } else if (c == '{') {
        SkipBraces();
      } else if (static_cast<unsigned char>(c) <= ' ') {
        ++at_;
      } else {
        out.push_back(Next());
      }
    }
    out.push_back({Kind::End, "", std::nullopt, at_, at_});
    return out;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;

  // "{{ }}" ends at the first "}}"; "{ }" nests.
  void SkipBraces() {
    if (text_.substr(at_, 2) == "{{") {
      const std::size_t close = text_.find("}}", at_ + 2);
      at_ = close == std::string_view::npos ? text_.size() : close + 2;
      return;
    }
    int depth = 0;
    for (; at_ < text_.size(); ++at_) {
      if (text_[at_] == '{') ++depth;
      if (text_[at_] == '}' && --depth == 0) {
        ++at_;
        return;
      }
    }
  }

  Element Next() {
    Element e;
    e.begin = at_;
    const char c = text_[at_];
    if (c == '"') {
      e.kind = Kind::String;
      ++at_;
      while (at_ < text_.size() && text_[at_] != '"' && text_[at_] != '\r' && text_[at_] != '\n') e.text += text_[at_++];
      if (at_ < text_.size() && text_[at_] == '"') ++at_;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || StartsNumber()) {
      Number(e);
    } else if (WordChar(c)) {
      e.kind = Kind::Word;
      while (at_ < text_.size() && WordChar(text_[at_])) e.text += text_[at_++];
      e.text = UpperText(e.text);
    } else {
      e.kind = Kind::Symbol;
      static constexpr std::string_view kPairs[] = {"//", "**", "<<", ">>", "~>", "->", "<-", "><", "#>", "<#",
                                                    "==", "<>", "=<", "=>", "|<", ">|", "^^", "||", "@@", ":="};
      e.text = std::string(1, c);
      for (const std::string_view pair : kPairs) {
        if (text_.substr(at_, 2) == pair) e.text = std::string(pair);
      }
      at_ += e.text.size();
    }
    e.end = at_;
    return e;
  }

  // "$" and a hex digit, "%" and a binary digit, "%%" and a base-four digit.
  bool StartsNumber() const {
    const std::string_view rest = text_.substr(at_);
    if (rest.size() >= 2 && rest[0] == '$') return DigitValue(rest[1]) < 16;
    if (rest.size() >= 3 && rest.starts_with("%%")) return DigitValue(rest[2]) < 4;
    return rest.size() >= 2 && rest[0] == '%' && DigitValue(rest[1]) < 2;
  }

  // Decimal, "$" hex, "%" binary, "%%" base four, with "_" between digits; a
  // decimal with a point or an exponent is a float, whose value is not needed.
  void Number(Element& e) {
    e.kind = Kind::Number;
    int base = 10;
    if (text_[at_] == '$') {
      base = 16;
      ++at_;
    } else if (text_.substr(at_, 2) == "%%") {
      base = 4;
      at_ += 2;
    } else if (text_[at_] == '%') {
      base = 2;
      ++at_;
    }
    std::uint64_t value = 0;
    bool overflow = false;
    for (; at_ < text_.size(); ++at_) {
      const char d = text_[at_];
      if (d == '_') continue;
      const int digit = DigitValue(d);
      if (digit >= base) break;
      value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
      overflow = overflow || value > 0xFFFFFFFFULL;
    }
    const bool point = base == 10 && at_ + 1 < text_.size() && text_[at_] == '.' &&
                       std::isdigit(static_cast<unsigned char>(text_[at_ + 1]));
    if (base == 10 && at_ < text_.size() && (point || text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      while (at_ < text_.size() && (WordChar(text_[at_]) || text_[at_] == '.' ||
                                    ((text_[at_] == '-' || text_[at_] == '+') && (text_[at_ - 1] == 'e' || text_[at_ - 1] == 'E')))) {
        ++at_;
      }
      // A float, read as the compiler reads it: without the "_", by strtod,
      // rounded to a float.
      std::string digits;
      for (std::size_t k = e.begin; k < at_; ++k)
        if (text_[k] != '_') digits += text_[k];
      double wide = 0;
      const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), wide);
      if (error == std::errc() && end == digits.data() + digits.size() && wide <= std::numeric_limits<float>::max())
        e.real = static_cast<float>(wide);
      return;
    }
    if (!overflow) e.value = static_cast<std::int64_t>(value);
  }
};

// A constant expression with the compiler's precedence, on 32-bit values.
// Names go to the caller's callback; so does the whole expression when a
// part of it is unknown here.
class Expression {
 public:
  Expression(Span elements, std::string_view text, const SourceExpressionValue& evaluate)
      : e_(elements), text_(text), evaluate_(evaluate) {}

  std::optional<std::int64_t> Value() {
    if (e_.empty()) return std::nullopt;
    std::optional<std::int64_t> v = Binary(0);
    if (v && at_ == e_.size()) return v;
    if (!evaluate_) return std::nullopt;
    const std::string_view whole = text_.substr(e_.front().begin, e_.back().end - e_.front().begin);
    if (const std::optional<std::int64_t> given = evaluate_(whole)) return Wrap(*given);
    return std::nullopt;
  }

 private:
  Span e_;
  std::string_view text_;
  const SourceExpressionValue& evaluate_;
  std::size_t at_ = 0;

  static std::int64_t Wrap(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

  bool Is(std::string_view symbol) const {
    return at_ < e_.size() && (e_[at_].kind == Kind::Symbol || e_[at_].kind == Kind::Word) && e_[at_].text == symbol;
  }

  // Binary levels from the loosest: OR, AND, comparisons, limits, sums,
  // products, | ^, &, shifts.
  std::optional<std::int64_t> Binary(int level) {
    static const std::vector<std::vector<std::string_view>> kLevels = {
        {"OR"}, {"AND"}, {"==", "<>", "<", ">", "=<", "=>"}, {"#>", "<#"}, {"+", "-"},
        {"*", "**", "/", "//"}, {"|", "^"}, {"&"}, {"<<", ">>", "~>", "->", "<-", "><"}};
    if (level == static_cast<int>(kLevels.size())) return Unary();
    if (level == 2 && Is("NOT")) {
      ++at_;
      const auto v = Binary(level);
      if (!v) return std::nullopt;
      return *v == 0 ? -1 : 0;
    }
    std::optional<std::int64_t> left = Binary(level + 1);
    while (left) {
      std::string_view op;
      for (const std::string_view candidate : kLevels[static_cast<std::size_t>(level)]) {
        if (Is(candidate)) op = candidate;
      }
      if (op.empty()) break;
      ++at_;
      const std::optional<std::int64_t> right = Binary(level + 1);
      if (!right) return std::nullopt;
      left = Apply(op, *left, *right);
    }
    return left;
  }

  static std::optional<std::int64_t> Apply(std::string_view op, std::int64_t a, std::int64_t b) {
    const auto ua = static_cast<std::uint32_t>(a);
    const auto n = static_cast<unsigned>(b) & 31U;
    if (op == "OR") return a != 0 || b != 0 ? -1 : 0;
    if (op == "AND") return a != 0 && b != 0 ? -1 : 0;
    if (op == "==") return a == b ? -1 : 0;
    if (op == "<>") return a != b ? -1 : 0;
    if (op == "<") return a < b ? -1 : 0;
    if (op == ">") return a > b ? -1 : 0;
    if (op == "=<") return a <= b ? -1 : 0;
    if (op == "=>") return a >= b ? -1 : 0;
    if (op == "#>") return a > b ? a : b;
    if (op == "<#") return a < b ? a : b;
    if (op == "+") return Wrap(a + b);
    if (op == "-") return Wrap(a - b);
    if (op == "*") return Wrap(a * b);
    if (op == "**") return Wrap((a * b) >> 32);
    if (op == "/") return b == 0 ? std::nullopt : std::optional<std::int64_t>(Wrap(a / b));
    if (op == "//") return b == 0 ? std::nullopt : std::optional<std::int64_t>(Wrap(a % b));
    if (op == "|") return Wrap(a | b);
    if (op == "^") return Wrap(a ^ b);
    if (op == "&") return Wrap(a & b);
    if (op == "<<") return Wrap(static_cast<std::int64_t>(ua << n));
    if (op == ">>") return Wrap(static_cast<std::int64_t>(ua >> n));
    if (op == "~>") return Wrap(static_cast<std::int32_t>(ua) >> n);
    if (op == "->") return Wrap(static_cast<std::int64_t>(n == 0 ? ua : (ua >> n | ua << (32 - n))));
    if (op == "<-") return Wrap(static_cast<std::int64_t>(n == 0 ? ua : (ua << n | ua >> (32 - n))));
    // "><": the low b bits reversed.
    if (b < 1 || b > 32) return std::nullopt;
    std::uint32_t reversed = 0;
    for (unsigned k = 0; k < static_cast<unsigned>(b); ++k) reversed |= ((ua >> k) & 1U) << (static_cast<unsigned>(b) - 1 - k);
    return Wrap(reversed);
  }

  std::optional<std::int64_t> Unary() {
    if (at_ >= e_.size()) return std::nullopt;
    const Element& e = e_[at_];
    if (e.kind == Kind::Symbol && (e.text == "-" || e.text == "!" || e.text == "||" || e.text == "|<" || e.text == ">|" || e.text == "+")) {
      ++at_;
      const std::optional<std::int64_t> v = Unary();
      if (!v) return std::nullopt;
      if (e.text == "-") return Wrap(-*v);
      if (e.text == "!") return Wrap(~*v);
      if (e.text == "||") return Wrap(*v < 0 ? -*v : *v);
      if (e.text == "|<") return Wrap(static_cast<std::int64_t>(1ULL << (static_cast<unsigned>(*v) & 31U)));
      if (e.text == ">|") {
        std::int64_t bits = 0;
        for (auto u = static_cast<std::uint32_t>(*v); u != 0; u >>= 1) ++bits;
        return bits;
      }
      return v;
    }
    ++at_;
    switch (e.kind) {
      case Kind::Number: return e.value ? std::optional<std::int64_t>(Wrap(*e.value)) : std::nullopt;
      case Kind::String:
        if (e.text.size() == 1) return static_cast<unsigned char>(e.text[0]);
        return std::nullopt;
      case Kind::Word: {
        if (e.text == "TRUE") return -1;
        if (e.text == "FALSE") return 0;
        if (e.text == "POSX") return 0x7FFFFFFF;
        if (e.text == "NEGX") return -0x80000000LL;
        if (!evaluate_ || IsSpinReservedWord(e.text)) return std::nullopt;
        std::size_t last = at_ - 1;
        // "obj#NAME": a child's constant.
        if (at_ + 1 < e_.size() && e_[at_].kind == Kind::Symbol && e_[at_].text == "#" && e_[at_ + 1].kind == Kind::Word) {
          at_ += 2;
          last = at_ - 1;
        }
        const std::optional<std::int64_t> v = evaluate_(text_.substr(e.begin, e_[last].end - e.begin));
        return v ? std::optional<std::int64_t>(Wrap(*v)) : std::nullopt;
      }
      case Kind::Symbol:
        if (e.text == "$" && evaluate_) {  // the current cog address, where the caller knows it
          const std::optional<std::int64_t> v = evaluate_("$");
          return v ? std::optional<std::int64_t>(Wrap(*v)) : std::nullopt;
        }
        if (e.text == "(") {
          const std::optional<std::int64_t> v = Binary(0);
          if (!v || !Is(")")) return std::nullopt;
          ++at_;
          return v;
        }
        return std::nullopt;
      case Kind::End: return std::nullopt;
    }
    return std::nullopt;
  }
};

// A float constant expression as the compiler works it out in 32-bit
// floats: floats, float constants (through names), + - * /, negation and
// brackets; an integer in it is an error to the compiler, unknown here.
class FloatExpression {
 public:
  FloatExpression(Span elements, const std::function<std::optional<float>(std::string_view)>& names)
      : e_(elements), names_(names) {}

  std::optional<float> Value() {
    const std::optional<float> v = Sum();
    return v && at_ == e_.size() ? v : std::nullopt;
  }

 private:
  Span e_;
  const std::function<std::optional<float>(std::string_view)>& names_;
  std::size_t at_ = 0;

  bool Take(std::string_view symbol) {
    if (at_ >= e_.size() || e_[at_].kind != Kind::Symbol || e_[at_].text != symbol) return false;
    ++at_;
    return true;
  }

  std::optional<float> Sum() {
    std::optional<float> left = Product();
    while (left) {
      const bool plus = Take("+");
      if (!plus && !Take("-")) break;
      const std::optional<float> right = Product();
      if (!right) return std::nullopt;
      left = plus ? *left + *right : *left - *right;
    }
    return left;
  }

  std::optional<float> Product() {
    std::optional<float> left = Unary();
    while (left) {
      const bool times = Take("*");
      if (!times && !Take("/")) break;
      const std::optional<float> right = Unary();
      if (!right || (!times && *right == 0.0F)) return std::nullopt;
      left = times ? *left * *right : *left / *right;
    }
    return left && std::isfinite(*left) ? left : std::nullopt;
  }

  std::optional<float> Unary() {
    if (Take("-")) {
      const std::optional<float> v = Unary();
      return v ? std::optional<float>(-*v) : std::nullopt;
    }
    if (Take("(")) {
      const std::optional<float> v = Sum();
      return v && Take(")") ? v : std::nullopt;
    }
    if (at_ >= e_.size()) return std::nullopt;
    const Element& e = e_[at_++];
    if (e.kind == Kind::Number) return e.real;
    if (e.kind == Kind::Word && !(at_ < e_.size() && e_[at_].kind == Kind::Symbol && e_[at_].text == "#"))
      return names_(e.text);
    return std::nullopt;
  }
};

}  // namespace

bool IsBlockWord(const SourceElement& e) {
  if (e.kind != Kind::Word) return false;
  for (const char* block : {"CON", "VAR", "OBJ", "PUB", "PRI", "DAT"}) {
    if (e.text == block) return true;
  }
  return false;
}
std::vector<SourceElement> CutSource(std::string_view text) { return Elements(text).All(); }

std::optional<std::int64_t> EvaluateElements(SourceElements elements, std::string_view text,
                                             const SourceExpressionValue& evaluate) {
  return Expression(elements, text, evaluate).Value();
}

std::optional<std::int64_t> EvaluateSourceExpression(std::string_view expression, const SourceExpressionValue& evaluate) {
  std::vector<Element> elements = CutSource(expression);
  while (!elements.empty() && elements.back().kind == Kind::End) elements.pop_back();
  for (const Element& e : elements) {
    if (e.kind == Kind::End) return std::nullopt;  // more than one line
  }
  return EvaluateElements(elements, expression, evaluate);
}

std::optional<std::int64_t> SourceConstants::Value(std::string_view name) const {
  const std::string upper = UpperText(name);
  if (upper == "TRUE") return -1;
  if (upper == "FALSE") return 0;
  if (upper == "POSX") return 0x7FFFFFFF;
  if (upper == "NEGX") return INT32_MIN;
  auto it = byUpperName_.find(upper);
  if (it == byUpperName_.end() || constants_[it->second].real) return std::nullopt;
  return constants_[it->second].value;
}

std::optional<float> SourceConstants::RealValue(std::string_view name) const {
  const std::string upper = UpperText(name);
  if (upper == "PI") return 3.14159265F;
  auto it = byUpperName_.find(upper);
  if (it == byUpperName_.end() || !constants_[it->second].real) return std::nullopt;
  float real = 0;
  const auto bits = static_cast<std::uint32_t>(constants_[it->second].value);
  std::memcpy(&real, &bits, sizeof real);
  return real;
}

// A name's value: the source's own, else outside's (noted in outsideUsed).
std::optional<std::int64_t> SourceConstants::Name(std::string_view name, bool& outsideUsed) const {
  if (const std::optional<std::int64_t> v = Value(name)) return v;
  if (!outside_) return std::nullopt;
  const std::optional<std::int64_t> v = outside_(name);
  outsideUsed = outsideUsed || v.has_value();
  return v;
}

std::optional<std::int64_t> SourceConstants::Evaluate(std::string_view expression) const {
  bool outsideUsed = false;
  return EvaluateSourceExpression(expression, [&](std::string_view name) { return Name(name, outsideUsed); });
}

// One CON item: "NAME = expression", "#expression" (the next enumeration
// value), "NAME" or "NAME[step]" (enumerated). False when it holds a value
// not known yet.
bool SourceConstants::Item(Span item, std::string_view text, std::optional<std::int64_t>& next) {
  bool outsideUsed = false;
  const SourceExpressionValue names = [&](std::string_view name) { return Name(name, outsideUsed); };
  const auto value = [&](Span e) { return EvaluateElements(e, text, names); };
  const auto define = [&](std::int64_t v, std::string expression, bool real = false) {
    const std::string name(text.substr(item[0].begin, item[0].end - item[0].begin));
    if (!byUpperName_.emplace(item[0].text, constants_.size()).second) return;
    constants_.push_back({name, v, real, outsideUsed ? std::string() : std::move(expression)});
  };
  if (item[0].kind == Kind::Symbol && item[0].text == "#") {
    next = value(item.subspan(1));
    return next.has_value();
  }
  if (item[0].kind != Kind::Word) return true;
  if (item.size() >= 2 && item[1].kind == Kind::Symbol && item[1].text == "=") {
    const Span expression = item.subspan(2);
    if (expression.empty()) return true;
    const std::string written(text.substr(expression.front().begin, expression.back().end - expression.front().begin));
    if (const std::optional<std::int64_t> v = value(expression)) {
      define(*v, written);
      return true;
    }
    // Else a float constant, of floats and the float constants read.
    const std::function<std::optional<float>(std::string_view)> reals = [this](std::string_view n) { return RealValue(n); };
    const std::optional<float> real = FloatExpression(expression, reals).Value();
    if (!real) return false;
    std::uint32_t bits = 0;
    std::memcpy(&bits, &*real, sizeof bits);
    outsideUsed = false;
    define(static_cast<std::int32_t>(bits), written, true);
    return true;
  }
  std::optional<std::int64_t> step = 1;
  if (item.size() >= 3 && item[1].kind == Kind::Symbol && item[1].text == "[" && item.back().text == "]") {
    step = value(item.subspan(2, item.size() - 3));
  } else if (item.size() != 1) {
    return true;  // not a constant the compiler would take
  }
  if (!next || !step) {
    next.reset();
    return false;
  }
  define(*next, std::string());
  next = *next + *step;
  return true;
}

void SourceConstants::Read(std::string_view text, SourceExpressionValue outside) {
  outside_ = std::move(outside);
  const std::vector<Element> elements = CutSource(text);
  // A block starts with its word in the line's first column.
  const auto starts = [&](const Element& e) {
    return IsBlockWord(e) && (e.begin == 0 || text[e.begin - 1] == '\n' || text[e.begin - 1] == '\r');
  };
  // A constant may name one defined further down: repeat while that adds values.
  for (int pass = 0; pass < 16; ++pass) {
    const std::size_t known = constants_.size();
    bool missing = false;
    bool inCon = false;
    std::optional<std::int64_t> next;
    for (std::size_t k = 0; k < elements.size();) {
      if (starts(elements[k])) {
        inCon = elements[k].text == "CON";
        next = 0;  // each CON block enumerates from 0
        ++k;
        continue;
      }
      if (!inCon || elements[k].kind == Kind::End) {
        ++k;
        continue;
      }
      // One item: up to a comma outside brackets, the line's end or a block.
      std::size_t end = k;
      for (int depth = 0; end < elements.size() && elements[end].kind != Kind::End && !starts(elements[end]); ++end) {
        const Element& e = elements[end];
        if (e.kind != Kind::Symbol) continue;
        if (e.text == "(" || e.text == "[") ++depth;
        if (e.text == ")" || e.text == "]") --depth;
        if (e.text == "," && depth == 0) break;
      }
      if (end > k && !Item(std::span(elements).subspan(k, end - k), text, next)) missing = true;
      k = end < elements.size() && elements[end].kind == Kind::Symbol ? end + 1 : end;
    }
    if (!missing || constants_.size() == known) break;
  }
}

}  // namespace brevin::recovery
