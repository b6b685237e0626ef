// Evaluates a source's CON block: a tokenizer and an evaluator by Spin's
// operator levels, over 32-bit integers as the compiler computes them.
#include "recovery/source_constants.h"

#include <cctype>
#include <cstdint>

namespace brevin::recovery {
namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

std::int64_t Wrap(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v & 0xFFFFFFFF)); }

std::uint32_t Bits(std::int64_t v) { return static_cast<std::uint32_t>(v & 0xFFFFFFFF); }

// One expression, read from text; names are looked up through the table.
class Evaluator {
 public:
  Evaluator(std::string_view text, const SourceConstants& table) : text_(text), table_(table) {}

  std::optional<std::int64_t> Run() {
    std::optional<std::int64_t> v = Binary(9);
    Skip();
    if (!v || at_ != text_.size()) return std::nullopt;
    return v;
  }

 private:
  std::string_view text_;
  const SourceConstants& table_;
  std::size_t at_ = 0;

  void Skip() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
  }

  bool Take(std::string_view op) {
    Skip();
    if (text_.substr(at_, op.size()) != op) return false;
    at_ += op.size();
    return true;
  }

  // The operators of a binary level, longest spelling first; 9 compares,
  // 8 limits, 7 adds, 6 multiplies, 5 or and xor, 4 and, 3 shifts.
  static const std::vector<std::string_view>& Operators(int level) {
    static const std::vector<std::string_view> levels[10] = {
        {}, {}, {}, {"->", "<-", ">>", "<<", "~>", "><"}, {"&"}, {"|", "^"}, {"**", "*", "//", "/"}, {"+", "-"},
        {"#>", "<#"}, {"<>", "==", "=<", "=>", "<", ">"}};
    return levels[level];
  }

  std::optional<std::int64_t> Binary(int level) {
    if (level < 3) return Unary();
    std::optional<std::int64_t> left = Binary(level - 1);
    for (;;) {
      if (!left) return std::nullopt;
      Skip();
      std::string_view found;
      for (std::string_view op : Operators(level)) {
        if (text_.substr(at_, op.size()) != op) continue;
        // "-" of "->", "<" of "<-": the longer operator was tried first; an
        // assignment form ("+=") is no operator here.
        if (at_ + op.size() < text_.size() && text_[at_ + op.size()] == '=' && op != "==" && op != "=<" && op != "=>" &&
            op != "<>" && level != 9)
          return std::nullopt;
        found = op;
        break;
      }
      if (found.empty()) return left;
      at_ += found.size();
      const std::optional<std::int64_t> right = Binary(level - 1);
      if (!right) return std::nullopt;
      left = Apply(found, *left, *right);
    }
  }

  static std::optional<std::int64_t> Apply(std::string_view op, std::int64_t a, std::int64_t b) {
    const std::uint32_t ua = Bits(a);
    const int shift = static_cast<int>(Bits(b) & 31);
    if (op == "+") return Wrap(a + b);
    if (op == "-") return Wrap(a - b);
    if (op == "*") return Wrap(a * b);
    if (op == "**") return Wrap((a * b) >> 32);
    if (op == "/") return b == 0 ? std::nullopt : std::optional<std::int64_t>(Wrap(a / b));
    if (op == "//") return b == 0 ? std::nullopt : std::optional<std::int64_t>(Wrap(a % b));
    if (op == "&") return Wrap(a & b);
    if (op == "|") return Wrap(a | b);
    if (op == "^") return Wrap(a ^ b);
    if (op == "<<") return Wrap(std::int64_t{ua << shift});
    if (op == ">>") return Wrap(std::int64_t{ua >> shift});
    if (op == "~>") return Wrap(a >> shift);
    if (op == "->") return Wrap(std::int64_t{shift ? (ua >> shift) | (ua << (32 - shift)) : ua});
    if (op == "<-") return Wrap(std::int64_t{shift ? (ua << shift) | (ua >> (32 - shift)) : ua});
    if (op == "#>") return a > b ? a : b;
    if (op == "<#") return a < b ? a : b;
    if (op == "<") return a < b ? -1 : 0;
    if (op == ">") return a > b ? -1 : 0;
    if (op == "<>") return a != b ? -1 : 0;
    if (op == "==") return a == b ? -1 : 0;
    if (op == "=<") return a <= b ? -1 : 0;
    if (op == "=>") return a >= b ? -1 : 0;
    return std::nullopt;  // >< and the rest: not in constants here
  }

  std::optional<std::int64_t> Unary() {
    Skip();
    if (Take("|<")) {
      const std::optional<std::int64_t> v = Unary();
      return v ? std::optional<std::int64_t>(Wrap(std::int64_t{1} << (Bits(*v) & 31))) : std::nullopt;
    }
    if (Take("-")) {
      const std::optional<std::int64_t> v = Unary();
      return v ? std::optional<std::int64_t>(Wrap(-*v)) : std::nullopt;
    }
    if (Take("!")) {
      const std::optional<std::int64_t> v = Unary();
      return v ? std::optional<std::int64_t>(Wrap(~*v)) : std::nullopt;
    }
    if (Take("+")) return Unary();
    if (Take("(")) {
      const std::optional<std::int64_t> v = Binary(9);
      if (!Take(")")) return std::nullopt;
      return v;
    }
    return Term();
  }

  std::optional<std::int64_t> Term() {
    Skip();
    if (at_ >= text_.size()) return std::nullopt;
    const char c = text_[at_];
    if (c == '"') {
      // A one-character string is that character's value.
      if (at_ + 2 < text_.size() && text_[at_ + 2] == '"') {
        const auto v = static_cast<unsigned char>(text_[at_ + 1]);
        at_ += 3;
        return v;
      }
      return std::nullopt;
    }
    if (c == '$' || c == '%' || std::isdigit(static_cast<unsigned char>(c))) return Number();
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      const std::size_t start = at_;
      while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_')) ++at_;
      if (at_ < text_.size() && (text_[at_] == '#' || text_[at_] == '.')) return std::nullopt;  // a child's constant
      return table_.Value(text_.substr(start, at_ - start));
    }
    return std::nullopt;
  }

  std::optional<std::int64_t> Number() {
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
    bool digits = false;
    for (; at_ < text_.size(); ++at_) {
      const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(text_[at_])));
      if (ch == '_') continue;
      int d = -1;
      if (std::isdigit(static_cast<unsigned char>(ch))) d = ch - '0';
      if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
      if (d < 0 || d >= base) break;
      value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
      if (value > 0xFFFFFFFFull) return std::nullopt;
      digits = true;
    }
    // A float (1.5, 2e3) is no integer constant.
    if (!digits || (at_ < text_.size() && (text_[at_] == '.' || (base == 10 && (text_[at_] == 'e' || text_[at_] == 'E')))))
      return std::nullopt;
    return Wrap(static_cast<std::int64_t>(value));
  }
};

// The items of a CON line, split at the commas outside brackets.
std::vector<std::string> Items(const std::string& line) {
  std::vector<std::string> items(1);
  int depth = 0;
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') quoted = !quoted;
    if (!quoted && (c == '(' || c == '[')) ++depth;
    if (!quoted && (c == ')' || c == ']')) --depth;
    if (c == ',' && depth == 0 && !quoted) {
      items.emplace_back();
      continue;
    }
    items.back() += c;
  }
  return items;
}

std::string Trim(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool IsName(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (const char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

}  // namespace

std::optional<std::int64_t> SourceConstants::Value(std::string_view name) const {
  const std::string upper = Upper(name);
  if (upper == "TRUE") return -1;
  if (upper == "FALSE") return 0;
  if (upper == "POSX") return 0x7FFFFFFF;
  if (upper == "NEGX") return INT32_MIN;
  auto it = byUpperName_.find(upper);
  if (it == byUpperName_.end()) return std::nullopt;
  return constants_[it->second].value;
}

std::optional<std::int64_t> SourceConstants::Evaluate(std::string_view expression) const {
  return Evaluator(expression, *this).Run();
}

void SourceConstants::ReadLines(const std::vector<std::string>& lines) {
  // Definitions may name constants defined further down: read until a pass learns nothing.
  struct Pending {
    std::string name, text;
  };
  std::vector<Pending> pending;
  std::optional<std::int64_t> counter;  // the enumeration's next value
  const auto define = [this](const std::string& name, std::int64_t value, const std::string& text) {
    if (byUpperName_.count(Upper(name))) return;
    byUpperName_[Upper(name)] = constants_.size();
    constants_.push_back({name, value, text});
  };
  for (const std::string& line : lines) {
    for (std::string item : Items(line)) {
      item = Trim(item);
      if (item.empty()) continue;
      if (item[0] == '#') {
        counter = Evaluate(Trim(item.substr(1)));
        continue;
      }
      const std::size_t equals = item.find('=');
      if (equals != std::string::npos && item.compare(equals, 2, "==") != 0 && equals > 0 &&
          item[equals - 1] != '<' && item[equals - 1] != '>') {
        const std::string name = Trim(item.substr(0, equals));
        const std::string text = Trim(item.substr(equals + 1));
        if (!IsName(name)) continue;
        if (std::optional<std::int64_t> v = Evaluate(text)) {
          define(name, *v, text);
        } else {
          pending.push_back({name, text});
        }
        continue;
      }
      // An enumeration's member, with its step in brackets.
      std::string name = item;
      std::int64_t step = 1;
      if (const std::size_t open = item.find('['); open != std::string::npos && item.back() == ']') {
        name = Trim(item.substr(0, open));
        const std::optional<std::int64_t> s = Evaluate(item.substr(open + 1, item.size() - open - 2));
        if (!s) counter.reset();
        step = s.value_or(0);
      }
      if (!IsName(name)) continue;
      if (counter) {
        define(name, *counter, "");
        counter = Wrap(*counter + step);
      }
    }
  }
  for (bool learnt = true; learnt && !pending.empty();) {
    learnt = false;
    for (auto it = pending.begin(); it != pending.end();) {
      if (std::optional<std::int64_t> v = Evaluate(it->text)) {
        define(it->name, *v, it->text);
        it = pending.erase(it);
        learnt = true;
      } else {
        ++it;
      }
    }
  }
}

}  // namespace brevin::recovery
