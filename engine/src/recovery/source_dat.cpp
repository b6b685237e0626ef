// The source is cut into the compiler's elements (words, numbers, strings,
// operators, line ends; comments skipped, brace comments nested and allowed
// to span lines), then the statements of the DAT blocks are laid out with the
// compiler's rules:
// - a byte, word or long line first pads to its size's alignment (from the
//   object's start: the DAT starts on a long, so the DAT's own offsets do);
//   each item takes its size, or the size written before it on that line
//   (which then holds for the items after it), times its [count]; a string
//   is one item per character;
// - an instruction, "nop", "org", "orgx", "res" and "fit" pad to a long; an
//   instruction and "nop" take one long, the others none;
// - "file" takes the file's bytes with no padding;
// - a label takes the size of its line, and a label alone on a line the size
//   of the line before it, without padding;
// - the cog address counts every byte entered after "org" (not after "orgx"),
//   and "res" adds its longs to it only.
#include "recovery/source_dat.h"

#include <cctype>
#include <map>
#include <span>

#include "brevin/text.h"
#include "recovery/dat_section.h"
#include "recovery/spin_names.h"

namespace brevin::recovery {

namespace {

constexpr std::int64_t kCogLimit = 0x1F0;        // registers "org" and "res" may reach
constexpr std::int64_t kLargestDat = 0x10000;    // more than a hub holds: the layout stops

enum class Kind { Word, Number, String, Symbol, End };

struct Element {
  Kind kind = Kind::End;
  std::string text;                // a word in upper case; an operator; a string's characters
  std::optional<std::int64_t> value;  // a number's value (none for a float)
  std::size_t begin = 0, end = 0;  // where it stands in the source
};

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

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
      e.text = Upper(e.text);
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
      return;  // a float
    }
    if (!overflow) e.value = static_cast<std::int64_t>(value);
  }
};

using Span = std::span<const Element>;

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

bool IsBlockWord(const Element& e) {
  if (e.kind != Kind::Word) return false;
  for (const char* block : {"CON", "VAR", "OBJ", "PUB", "PRI", "DAT"}) {
    if (e.text == block) return true;
  }
  return false;
}


// Lays out the DAT statements one by one.
class Layout {
 public:
  Layout(std::string_view text, const SourceExpressionValue& evaluate, const SourceFileSize& fileSize)
      : text_(text), evaluate_(evaluate), fileSize_(fileSize) {
    // In DAT lines a label stands for its cog register and "$" for the
    // current one; other names go to the caller.
    names_ = [this](std::string_view name) -> std::optional<std::int64_t> {
      if (name == "$") return orgx_ ? std::nullopt : std::optional<std::int64_t>(cogOrg_ / 4);
      if (const auto it = registers_.find(Upper(name)); it != registers_.end()) return it->second;
      return evaluate_ ? evaluate_(name) : std::nullopt;
    };
  }

  // False when the layout stops here.
  bool Statement(Span s) {
    std::size_t i = 0;
    std::optional<std::string> label;
    bool local = false;
    if (s.size() >= 2 && s[0].kind == Kind::Symbol && s[0].text == ":" && s[1].kind == Kind::Word) {
      label = ":" + std::string(text_.substr(s[1].begin, s[1].end - s[1].begin));
      local = true;
      i = 2;
    } else if (s[0].kind == Kind::Word && !IsSpinReservedWord(s[0].text)) {
      label = std::string(text_.substr(s[0].begin, s[0].end - s[0].begin));
      i = 1;
    }
    label_ = label;
    local_ = local;
    if (i == s.size()) {
      Enter(false);  // alone on its line: the last line's size, no padding
      return true;
    }
    if (s[i].kind != Kind::Word) return Stop("a DAT line the compiler would not take", s[i]);
    const std::string& word = s[i].text;
    if (word == "BYTE" || word == "WORD" || word == "LONG") return Data(s.subspan(i));
    if (word == "FILE") return File(s.subspan(i));
    if (word == "ORG" || word == "ORGX" || word == "RES" || word == "FIT" || word == "NOP") return Directive(word, s.subspan(i + 1));
    if (IsSpinReservedWord(word)) {
      sizeCode_ = 2;  // an instruction (with its condition, if any): one long
      Advance();
      if (orgZero_ && (out_.programs.empty() || out_.programs.back() != *orgZero_)) out_.programs.push_back(*orgZero_);
      Bytes(4);
      return true;
    }
    return Stop("a DAT line the compiler would not take", s[i]);
  }

  SourceDat Finish() {
    if (out_.stop.empty()) out_.size = static_cast<std::int32_t>(offset_);
    return std::move(out_);
  }

  bool Stopped() const { return !out_.stop.empty(); }

  bool Stop(const std::string& why, const Element& at) {
    if (out_.stop.empty()) out_.stop = why + " (line " + std::to_string(LineOf(at.begin)) + ")";
    return false;
  }

 private:
  std::string_view text_;
  const SourceExpressionValue& evaluate_;
  const SourceFileSize& fileSize_;
  SourceDat out_;
  std::int64_t offset_ = 0;   // from the DAT's first byte
  std::int64_t cogOrg_ = 0;   // in bytes
  bool orgx_ = false;
  int sizeCode_ = 0;          // 0 byte, 1 word, 2 long: the last line's size
  std::optional<std::string> label_;
  bool local_ = false;
  std::int32_t cogBase_ = 0;  // DAT offset of cog register 0, as the last "org" puts it
  std::optional<std::int32_t> orgZero_;  // where the last "org 0" stands, when it is the last "org"
  std::map<std::string, std::int64_t> registers_;  // global labels entered so far, by upper-case name
  SourceExpressionValue names_;

  int LineOf(std::size_t at) const {
    int line = 1;
    for (std::size_t k = 0; k < at && k < text_.size(); ++k) {
      if (text_[k] == '\n' || (text_[k] == '\r' && (k + 1 >= text_.size() || text_[k + 1] != '\n'))) ++line;
    }
    return line;
  }

  // Enters the line's label here, if it has one.
  void Enter(bool reserved) {
    if (!label_) return;
    SourceDatLabel l;
    l.name = *label_;
    l.offset = static_cast<std::int32_t>(offset_);
    l.size = 1 << sizeCode_;
    l.local = local_;
    l.reserved = reserved;
    if (!orgx_ && cogOrg_ % 4 == 0 && cogOrg_ / 4 < kCogLimit) {
      l.cogAddress = static_cast<std::int32_t>(cogOrg_ / 4);
      l.cogBase = cogBase_;
    }
    if (l.cogAddress && !local_) registers_.emplace(Upper(l.name), *l.cogAddress);
    out_.labels.push_back(l);
    label_.reset();
  }

  void Bytes(std::int64_t n) {
    if (n <= 0) return;
    offset_ += n;
    if (!orgx_) cogOrg_ += n;
  }

  // Pads to the line's size, then enters its label.
  void Advance(bool reserved = false) {
    const std::int64_t align = std::int64_t{1} << sizeCode_;
    Bytes((align - offset_ % align) % align);
    Enter(reserved);
  }

  std::optional<std::int64_t> Value(Span e) { return Expression(e, text_, names_).Value(); }

  bool TooLarge(const Element& at) {
    if (offset_ <= kLargestDat) return false;
    return Stop("the DAT grows past a hub's size", at);
  }

  // "byte", "word" or "long", then items: [size] value [ "[" count "]" ], ...
  bool Data(Span s) {
    sizeCode_ = s[0].text == "BYTE" ? 0 : s[0].text == "WORD" ? 1 : 2;
    Advance();
    int itemSize = sizeCode_;
    std::size_t at = 1;
    while (at < s.size()) {
      // One item: up to the next comma outside brackets.
      std::size_t end = at;
      int depth = 0;
      for (; end < s.size(); ++end) {
        const Element& e = s[end];
        if (e.kind != Kind::Symbol) continue;
        if (e.text == "(" || e.text == "[") ++depth;
        if (e.text == ")" || e.text == "]") --depth;
        if (e.text == "," && depth == 0) break;
      }
      Span item = s.subspan(at, end - at);
      if (item.empty()) return Stop("an empty DAT item", s[at < s.size() ? at : 0]);
      if (item[0].kind == Kind::Word && (item[0].text == "BYTE" || item[0].text == "WORD" || item[0].text == "LONG")) {
        const int override = item[0].text == "BYTE" ? 0 : item[0].text == "WORD" ? 1 : 2;
        if (override < sizeCode_) return Stop("a size smaller than its line's", item[0]);
        itemSize = override;
        item = item.subspan(1);
      }
      std::int64_t count = 1;
      if (!item.empty() && item.back().kind == Kind::Symbol && item.back().text == "]") {
        // The "[" that opens the count.
        std::size_t open = item.size();
        for (int level = 0; open > 0;) {
          const Element& e = item[--open];
          if (e.kind == Kind::Symbol && e.text == "]") ++level;
          if (e.kind == Kind::Symbol && e.text == "[" && --level == 0) break;
        }
        const bool opened = item[open].kind == Kind::Symbol && item[open].text == "[";
        const std::optional<std::int64_t> value =
            opened ? Value(item.subspan(open + 1, item.size() - open - 2)) : std::nullopt;
        if (!value || *value < 0 || *value > kLargestDat) return Stop("a count that is not known", item[open]);
        count = *value;
        item = item.subspan(0, open);
      }
      // Each character of a string is an item of its own; the count holds for the last.
      std::int64_t items = count;
      for (const Element& e : item) {
        if (e.kind == Kind::String && !e.text.empty()) items += static_cast<std::int64_t>(CodePointCount(e.text)) - 1;
      }
      Bytes(items << itemSize);
      if (TooLarge(s[at])) return false;
      at = end + 1;
    }
    return true;
  }

  bool File(Span s) {
    sizeCode_ = 0;
    Enter(false);
    if (s.size() < 2 || s[1].kind != Kind::String) return Stop("a file line without its file name", s[0]);
    const std::optional<std::int64_t> size = fileSize_ ? fileSize_(s[1].text) : std::nullopt;
    if (!size || *size < 0) return Stop("the size of file \"" + s[1].text + "\" is not known", s[0]);
    Bytes(*size);
    return !TooLarge(s[0]);
  }

  bool Directive(const std::string& word, Span operand) {
    sizeCode_ = 2;
    const Element where = operand.empty() ? Element{} : operand[0];
    if (word == "RES" && orgx_) return Stop("\"res\" after \"orgx\"", where);
    Advance(word == "RES");
    if (word == "NOP") {
      Bytes(4);
    } else if (word == "ORGX") {
      cogOrg_ = 0;
      orgx_ = true;
      orgZero_.reset();
    } else if (word == "RES") {
      const std::optional<std::int64_t> value = operand.empty() ? 1 : Value(operand);
      if (!value || *value < 0 || cogOrg_ + 4 * *value > 4 * kCogLimit) return Stop("a \"res\" count that is not known", where);
      cogOrg_ += 4 * *value;
    } else if (word == "ORG") {
      const std::optional<std::int64_t> value = operand.empty() ? 0 : Value(operand);
      if (!value || *value < 0 || *value > kCogLimit) return Stop("an \"org\" that is not known", where);
      cogOrg_ = 4 * *value;
      orgx_ = false;
      cogBase_ = static_cast<std::int32_t>(offset_ - 4 * *value);
      orgZero_.reset();
      if (*value == 0) orgZero_ = cogBase_;
    }
    return true;  // "fit" only checks
  }
};

}  // namespace

std::optional<std::int64_t> EvaluateSourceExpression(std::string_view expression, const SourceExpressionValue& evaluate) {
  std::vector<Element> elements = Elements(expression).All();
  while (!elements.empty() && elements.back().kind == Kind::End) elements.pop_back();
  for (const Element& e : elements) {
    if (e.kind == Kind::End) return std::nullopt;  // more than one line
  }
  return Expression(elements, expression, evaluate).Value();
}

namespace {

// One CON item: "NAME = expression", "#expression" (the next enumeration
// value), "NAME" or "NAME[count]" (enumerated). False when it holds a value
// not known yet.
bool ConstantItem(Span item, std::string_view text, const SourceExpressionValue& names,
                  std::map<std::string, std::int64_t>& out, std::optional<std::int64_t>& next) {
  const auto value = [&](Span e) { return Expression(e, text, names).Value(); };
  if (item[0].kind == Kind::Symbol && item[0].text == "#") {
    next = value(item.subspan(1));
    return next.has_value();
  }
  if (item[0].kind != Kind::Word) return true;
  const std::string& name = item[0].text;
  if (item.size() >= 2 && item[1].kind == Kind::Symbol && item[1].text == "=") {
    const std::optional<std::int64_t> v = value(item.subspan(2));
    if (v) out.emplace(name, *v);
    return v.has_value();
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
  out.emplace(name, *next);
  next = *next + *step;
  return true;
}

}  // namespace

std::map<std::string, std::int64_t> ReadSourceConstants(std::string_view text, const SourceExpressionValue& outside) {
  const std::vector<Element> elements = Elements(text).All();
  std::map<std::string, std::int64_t> out;
  const SourceExpressionValue names = [&](std::string_view name) -> std::optional<std::int64_t> {
    if (const auto it = out.find(Upper(name)); it != out.end()) return it->second;
    return outside ? outside(name) : std::nullopt;
  };
  // A constant may name one defined further down: repeat while that adds values.
  for (int pass = 0; pass < 16; ++pass) {
    const std::size_t known = out.size();
    bool missing = false;
    bool inCon = false;
    std::optional<std::int64_t> next;
    for (std::size_t k = 0; k < elements.size();) {
      if (IsBlockWord(elements[k])) {
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
      for (int depth = 0; end < elements.size() && elements[end].kind != Kind::End && !IsBlockWord(elements[end]); ++end) {
        const Element& e = elements[end];
        if (e.kind != Kind::Symbol) continue;
        if (e.text == "(" || e.text == "[") ++depth;
        if (e.text == ")" || e.text == "]") --depth;
        if (e.text == "," && depth == 0) break;
      }
      if (end > k && !ConstantItem(std::span(elements).subspan(k, end - k), text, names, out, next)) missing = true;
      k = end < elements.size() && elements[end].kind == Kind::Symbol ? end + 1 : end;
    }
    if (!missing || out.size() == known) break;
  }
  return out;
}

SourceDat ReadSourceDat(std::string_view text, const SourceExpressionValue& evaluate, const SourceFileSize& fileSize) {
  const std::vector<Element> elements = Elements(text).All();
  Layout layout(text, evaluate, fileSize);
  bool inDat = false;
  std::size_t k = 0;
  while (k < elements.size() && !layout.Stopped()) {
    const Element& e = elements[k];
    if (IsBlockWord(e)) {
      inDat = e.text == "DAT";
      ++k;
      continue;
    }
    if (!inDat || e.kind == Kind::End) {
      ++k;
      continue;
    }
    std::size_t end = k;
    while (end < elements.size() && elements[end].kind != Kind::End && !IsBlockWord(elements[end])) ++end;
    layout.Statement(std::span(elements).subspan(k, end - k));
    k = end;
  }
  return layout.Finish();
}

void AddSourceLabels(const SourceDat& dat, std::int32_t datStart, DatSectionInput& input) {
  for (const std::int32_t program : dat.programs) {
    if (std::int64_t{datStart} + program <= INT32_MAX) input.sourcePrograms.push_back(datStart + program);
  }
  for (const SourceDatLabel& label : dat.labels) {
    const std::int64_t offset = std::int64_t{datStart} + label.offset;
    if (offset > INT32_MAX || offset < INT32_MIN) continue;
    if (!label.local && !label.reserved) {
      input.sourceLabels.emplace(static_cast<std::int32_t>(offset), DatLabel{label.name, label.size});
    }
    if (label.cogAddress) {
      const std::int64_t base = std::int64_t{datStart} + label.cogBase;
      if (base > INT32_MAX || base < INT32_MIN) continue;
      input.sourceCogLabels.emplace(std::pair{static_cast<std::int32_t>(base), *label.cogAddress}, label.name);
    }
  }
}

}  // namespace brevin::recovery
