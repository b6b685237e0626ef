// Expression folding: every listing line passes through a short queue, where
// runs of Spin pushes merge into the instruction that consumes them (LET,
// CALLFUN "label ( a, b )", indexed and special-register operands, ...).
#include "disassembler.h"

namespace brevin {

namespace {
bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Replaces the first occurrence of what by with (which must occur).
std::string ReplaceFirst(std::string text, std::string_view what, std::string_view with) {
  const auto at = text.find(what);
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

// The n-th occurrence (0-based) of what replaced by with.
std::string ReplaceNth(std::string text, const std::string& what, int n, const std::string& with) {
  std::size_t at = text.find(what);
  for (int i = 0; i < n && at != std::string::npos; ++i) at = text.find(what, at + what.size());
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

using namespace std::string_view_literals;  // literal compares test the length first

bool IsPush(const LineFields& line) { return line.opcode == "PUSH"sv; }

// True for the mnemonics FoldOperators acts on (by their first letter and
// length), so that every other line leaves it before any text is copied.
bool MayFoldOperator(const std::string& m) {
  if (m.size() < 3 || m.size() > 7) return false;
  switch (m[0]) {
    case 'B': case 'C': case 'L': case 'S': case 'W': return true;
    case 'P': return m.size() == 3;  // POP
    default: return false;
  }
}

// A line that may be merged into the one before it: only lines without a label
// (a labelled line is a jump destination and must keep its place).
bool Unlabelled(const LineFields* line) { return line != nullptr && line->label.empty(); }

// A PUSH of a literal value: no index, and an operand that starts like a number.
bool IsConstantPush(const LineFields& line) {
  return IsPush(line) && !Contains(line.operand, "[]") && !Contains(line.operand, "[..]") && !line.operand.empty() &&
         std::string_view("#$0123456789+-").find(line.operand[0]) != std::string_view::npos;
}

// The value of a constant push shown in decimal (a leading "#" ignored); -1 otherwise.
int SmallDecimal(const std::string& operand) {
  const std::string digits = !operand.empty() && operand[0] == '#' ? operand.substr(1) : operand;
  if (digits.empty() || digits.size() > 2) return -1;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
  }
  return std::stoi(digits);
}
}  // namespace

LineFields Disassembler::CurrentLine() const {
  return {LineAddr,       InstrBytes, LineLabel, LineOpcode,   LineOperand,   FlatLine(),
          unreachedLines_, LineHub,   LineCog,   namedInLine_, LineCommentAt, LineWords, QueuedKind()};
}

LineKind Disassembler::QueuedKind() const {
  if (lineKind_ != LineKind::Text) return lineKind_;
  if (unreachedLines_) return LineLabel.starts_with("; ----") ? LineKind::Unreached : LineKind::Code;
  return SectionState == section::SpinCode || SectionState == section::AsmCode ? LineKind::Code : LineKind::Data;
}

bool Disassembler::FlatLine() const {
  return flatLines_ || (SectionState != section::SpinCode && SectionState != section::Unknown);
}

void Disassembler::EmitLine() {
  if (PendingLines.size() == kFoldingQueueBound) {
    FormatLine(PendingLines.front());
    PendingLines.pop_front();
  }
  LineFields& line = PendingLines.push_back();
  line.addr = LineAddr;
  line.bytes = InstrBytes;
  line.label = LineLabel;
  line.opcode = LineOpcode;
  line.operand = LineOperand;
  line.flat = FlatLine();
  line.unreached = unreachedLines_;
  line.hub = LineHub;
  line.cog = LineCog;
  line.kind = recordNames_ ? QueuedKind() : LineKind::Text;  // only a model reads it
  line.commentAt = LineCommentAt;
  line.words = LineWords;
  LineCommentAt = std::string::npos;
  LineWords = FieldWords{};
  // The names go with the line (only a model reads them); the slot's old
  // (emptied) buffer is the next line's.
  if (recordNames_) {
    line.named.clear();
    line.named.swap(namedInLine_);
  }
  if (PendingLines.size() < 2 || !LineLabel.empty()) return;  // a labelled line never folds backwards

  // Index and register folds need a "[" in the operand: one scan rules them out.
  const bool bracket = LineOperand.find('[') != std::string::npos;
  if (Opt.FoldIndexes && bracket) FoldIndexes();
  if (Opt.FoldOpcodes) FoldCallsAndReturns();
  if (Opt.FoldSpr && bracket && Contains(LineOperand, "SPR[]")) FoldSpecialRegister();
  if (Opt.FoldOperators) FoldOperators();
}

void Disassembler::FlushPendingLines() {
  if (!PendingLines.empty() && !PendingLines.back().operand.empty() && PendingLines.back().operand.back() == '_') {
    PendingLines.back().operand.pop_back();
  }
  for (std::size_t i = 0; i < PendingLines.size(); ++i) FormatLine(PendingLines[i]);
  PendingLines.clear();
}

const LineFields* Disassembler::PendingBefore(std::size_t back) const {
  return PendingLines.size() > back ? &PendingLines[PendingLines.size() - 1 - back] : nullptr;
}

void Disassembler::MergeWithPrevious(const std::string& mnemonic, const std::string& operand) {
  if (PendingLines.size() < 2) return;
  const LineFields& newest = PendingLines.back();
  PendingLines.pop_back();  // the slot keeps newest's text until the next push
  LineFields& previous = PendingLines.back();
  previous.bytes += ' ';
  previous.bytes += newest.bytes;
  previous.opcode = mnemonic;
  if (!operand.empty()) previous.operand = operand;
  previous.named.insert(previous.named.end(), newest.named.begin(), newest.named.end());
  if (!operand.empty()) previous.commentAt = std::string::npos;  // the operand is new text
  LineOpcode = previous.opcode;
  LineOperand = previous.operand;
}

void Disassembler::FoldCallArguments(int limit) {
  const LineFields* previous = PendingBefore(1);
  if (!Opt.FoldArguments || previous == nullptr || !IsPush(*previous)) return;
  std::string operand = LineOperand;
  std::string closing;
  if (!operand.empty()) {
    operand += " ( ";
    closing = " )";
  }
  const std::size_t opening = operand.size();
  MergeWithPrevious(LineOpcode, operand + previous->operand + closing);
  int taken = 1;
  while ((previous = PendingBefore(1)) != nullptr && IsPush(*previous) && (limit == 0 || taken < limit) &&
         Unlabelled(PendingBefore(0))) {
    std::string merged = LineOperand;
    merged.insert(opening, previous->operand + ", ");
    MergeWithPrevious(LineOpcode, merged);
    ++taken;
  }
}

void Disassembler::FoldIndexes() {
  const LineFields* previous = PendingBefore(1);
  const LineFields* second = PendingBefore(2);
  if (previous == nullptr) return;
  const std::string operand = LineOperand;
  if (Contains(operand, "[][]")) {
    if (second != nullptr && IsPush(*previous) && IsPush(*second) && Unlabelled(previous)) {
      const std::string inner = ReplaceNth(operand, "[]", 1, "[" + previous->operand + "]");
      const std::string both = ReplaceFirst(inner, "[]", "[" + second->operand + "]");
      MergeWithPrevious(LineOpcode, both);
      MergeWithPrevious(LineOpcode, both);
    }
  } else if (Contains(operand, "[]") && IsPush(*previous)) {
    MergeWithPrevious(LineOpcode, ReplaceFirst(operand, "[]", "[" + previous->operand + "]"));
  } else if (Contains(operand, "[..]") && second != nullptr && IsPush(*previous) && IsPush(*second) &&
             Unlabelled(previous)) {
    const std::string range = ReplaceFirst(operand, "[..]", "[" + second->operand + ", " + previous->operand + "]");
    MergeWithPrevious(LineOpcode, range);
    MergeWithPrevious(LineOpcode, range);
  }
}

void Disassembler::FoldCallsAndReturns() {
  struct CallForm {
    const char* frame;
    const char* call;
    const char* object;
  };
  static constexpr CallForm kForms[] = {{"CALL WITH RETURN VALUE", "CALLFUN", "OBJFUN"},
                                        {"CALL WITHOUT RETURN VALUE", "CALLSUB", "OBJSUB"},
                                        {"CALL WITH ABORT TRAP", "CALLTRP", "OBJTRP"},
                                        {"CALL IGNORING ABORT TRAP", "CALLIGN", "OBJIGN"}};
  const std::string_view opcode = LineOpcode;
  if (opcode.size() < 4 || (opcode[0] != 'C' && opcode[0] != 'R' && opcode[0] != 'A')) return;
  if (opcode != "CALL"sv && opcode != "CALLOBJ"sv && opcode != "RETVAL"sv && opcode != "ABOVAL"sv) return;
  const std::string mnemonic = LineOpcode;
  if (mnemonic == "CALL"sv || mnemonic == "CALLOBJ"sv) {
    FoldCallArguments(0);
    const LineFields* previous = PendingBefore(1);
    if (previous == nullptr || previous->opcode != "FRAME"sv || !Unlabelled(PendingBefore(0))) return;
    for (const CallForm& form : kForms) {
      if (previous->operand == form.frame) {
        MergeWithPrevious(mnemonic == "CALL"sv ? form.call : form.object, LineOperand);
        return;
      }
    }
  } else if (mnemonic == "RETVAL"sv || mnemonic == "ABOVAL"sv) {
    const LineFields* previous = PendingBefore(1);
    if (previous != nullptr && IsPush(*previous)) MergeWithPrevious(mnemonic == "RETVAL"sv ? "RETURN" : "ABORT", "");
  }
}

void Disassembler::FoldSpecialRegister() {
  const LineFields* previous = PendingBefore(1);
  if (previous == nullptr || !IsConstantPush(*previous)) return;
  const int value = SmallDecimal(previous->operand);
  if (value < 0 || value > 15) return;
  MergeWithPrevious(LineOpcode, ReplaceFirst(LineOperand, "SPR[]", tables_.Spin.RegisterNames[16 + static_cast<std::size_t>(value)]));
}

void Disassembler::FoldOperators() {
  if (!MayFoldOperator(LineOpcode)) return;
  // Every use of the two below comes before the branch's first merge, which rewrites them.
  const std::string& mnemonic = LineOpcode;
  const std::string& operand = LineOperand;
  const LineFields* p1 = PendingBefore(1);
  const LineFields* p2 = PendingBefore(2);
  const LineFields* p3 = PendingBefore(3);
  if (p1 == nullptr) return;
  auto constants = [&](int n) {
    const LineFields* lines[] = {p1, p2, p3};
    for (int i = 0; i < n; ++i) {
      if (lines[i] == nullptr || !IsConstantPush(*lines[i])) return false;
    }
    return true;
  };

  if (mnemonic == "CASE"sv) {
    if (constants(1)) MergeWithPrevious("CASE", p1->operand + ", " + operand);
  } else if (mnemonic == "LOOKUP"sv || mnemonic == "LOOKDN"sv) {
    if (constants(1)) MergeWithPrevious(mnemonic, p1->operand);
  } else if (mnemonic == "CASER"sv || mnemonic == "LOOKUPR"sv || mnemonic == "LOOKDNR"sv || mnemonic == "STRCOMP"sv) {
    if (!constants(2) || !Unlabelled(p1)) return;
    const std::string first = p2->operand, second = p1->operand;
    std::string merged = first + ", " + second;
    std::string folded = mnemonic;
    if (mnemonic == "LOOKUPR"sv) folded = "LOOKUP";
    if (mnemonic == "LOOKDNR"sv) folded = "LOOKDN";
    if (mnemonic == "CASER"sv) {
      folded = "CASE";
      merged = first + ", " + second + ", " + operand;
    }
    MergeWithPrevious(folded, merged);
    MergeWithPrevious(folded, merged);
  } else if (mnemonic == "BYTEFIL"sv || mnemonic == "WORDFIL"sv || mnemonic == "LONGFIL"sv || mnemonic == "BYTEMOV"sv ||
             mnemonic == "WORDMOV"sv || mnemonic == "LONGMOV"sv) {
    if (!constants(3) || !Unlabelled(p1) || !Unlabelled(p2)) return;
    const std::string merged = p3->operand + ", " + p2->operand + ", " + p1->operand;
    for (int i = 0; i < 3; ++i) MergeWithPrevious(mnemonic, merged);
  } else if (mnemonic == "POP"sv) {
    const std::string& before = p1->opcode;
    if (IsPush(*p1) && !Contains(operand, "[]") && !Contains(operand, "[..]") && !Contains(p1->operand, "[]") &&
        !Contains(p1->operand, "[..]")) {
      MergeWithPrevious("LET", operand + ", " + p1->operand);
    } else if (before == "CALLFUN"sv || before == "OBJFUN"sv) {
      MergeWithPrevious(before, p1->operand + ", " + operand);
    } else if (before == "COGIFUN"sv || before == "LCLRFUN"sv || before == "LSETFUN"sv) {
      MergeWithPrevious(before, "( " + p1->operand + " ), " + operand);
    } else if (before == "LNEWFUN"sv) {
      MergeWithPrevious(before, operand);
    }
  } else if (mnemonic == "COGISUB"sv || mnemonic == "COGIFUN"sv) {
    FoldCallArguments(3);
  } else if (mnemonic == "LCLRSUB"sv || mnemonic == "LSETSUB"sv || mnemonic == "LRETSUB"sv || mnemonic == "LCLRFUN"sv ||
             mnemonic == "LSETFUN"sv || mnemonic == "LNEWFUN"sv) {
    FoldCallArguments(1);
  }
}

}  // namespace brevin
