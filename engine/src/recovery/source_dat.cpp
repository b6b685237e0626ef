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

using Kind = SourceElementKind;
using Element = SourceElement;
using Span = SourceElements;

// Lays out the DAT statements one by one.
class Layout {
 public:
  Layout(std::string_view text, const SourceExpressionValue& evaluate, const SourceFileSize& fileSize)
      : text_(text), evaluate_(evaluate), fileSize_(fileSize) {
    // In DAT lines a label stands for its cog register and "$" for the
    // current one; other names go to the caller.
    names_ = [this](std::string_view name) -> std::optional<std::int64_t> {
      if (name == "$") return orgx_ ? std::nullopt : std::optional<std::int64_t>(cogOrg_ / 4);
      if (const auto it = registers_.find(UpperText(name)); it != registers_.end()) return it->second;
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
    if (l.cogAddress && !local_) registers_.emplace(UpperText(l.name), *l.cogAddress);
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

  std::optional<std::int64_t> Value(Span e) { return EvaluateElements(e, text_, names_); }

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

std::map<std::string, std::int64_t> ReadSourceConstants(std::string_view text, const SourceExpressionValue& outside) {
  SourceConstants constants;
  constants.Read(text, outside);
  std::map<std::string, std::int64_t> out;
  for (const SourceConstant& c : constants.All())
    if (!c.real) out.emplace(UpperText(c.name), c.value);
  return out;
}

SourceDat ReadSourceDat(std::string_view text, const SourceExpressionValue& evaluate, const SourceFileSize& fileSize) {
  const std::vector<Element> elements = CutSource(text);
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
