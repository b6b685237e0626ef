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

bool IsPush(const LineFields& line) { return line.op >= FoldOp::Push && line.op <= FoldOp::PushLiteralLast; }

// The lines FoldCallsAndReturns and FoldOperators act on (their ids are in one run each).
bool IsCallOrReturn(FoldOp op) { return op >= FoldOp::Call && op <= FoldOp::AbortValue; }
bool TakesOperatorFold(FoldOp op) { return op >= FoldOp::Pop && op <= FoldOp::LockReturnSub; }

// A line that may be merged into the one before it: only lines without a label
// (a labelled line is a jump destination and must keep its place).
bool Unlabelled(const LineFields* line) { return line != nullptr && line->label.empty(); }

// A PUSH of a literal value or an address, with its operand read (an
// instruction cut off by the image end may show none) and no index left to fill.
bool IsConstantPush(const LineFields& line) {
  return line.op >= FoldOp::PushConstant && line.op <= FoldOp::PushLiteralLast && !line.operand.empty() &&
         !Contains(line.operand, "[]") && !Contains(line.operand, "[..]");
}
}  // namespace

LineFields Disassembler::CurrentLine() const {
  return {LineAddr,       InstrBytes, LineLabel, LineOpcode,   LineOperand,   FlatLine(),
          unreachedLines_, LineHub,   LineCog,   namedInLine_, LineCommentAt, LineWords, QueuedKind(), LineOp};
}

LineKind Disassembler::QueuedKind() const {
  if (lineKind_ != LineKind::Text) return lineKind_;
  if (unreachedLines_) return LineKind::Code;  // a guess of a bare listing, or the label line before one
  return SectionState == section::SpinCode || SectionState == section::AsmCode ? LineKind::Code : LineKind::Data;
}

bool Disassembler::FlatLine() const {
  return flatLines_ || (SectionState != section::SpinCode && SectionState != section::Unknown);
}

LineFields& Disassembler::QueueSlot(std::int32_t hub, std::int16_t cog) {
  if (PendingLines.size() == kFoldingQueueBound) {
    FormatLine(PendingLines.front());
    PendingLines.pop_front();
  }
  LineFields& line = PendingLines.push_back();
  line.flat = FlatLine();
  line.unreached = unreachedLines_;
  line.hub = hub;
  line.op = LineOp;
  LineOp = FoldOp::None;  // a line the Spin printer did not build is none of the folding's
  // What only the model's line marks read goes with the line when they are
  // kept; the names' buffer is swapped, the slot's old (emptied) one being the next line's.
  if (keepLineMarks_) {
    line.cog = cog;
    line.kind = QueuedKind();
    line.commentAt = LineCommentAt;
    line.words = LineWords;
    LineCommentAt = std::string::npos;
    LineWords = FieldWords{};
    line.named.clear();
    line.named.swap(namedInLine_);
  } else if (!givenComments_.empty()) {
    line.kind = QueuedKind();  // a person's comment goes on code and data lines only
  }
  return line;
}

void Disassembler::EmitLine() {
  LineFields& line = QueueSlot(LineHub, LineCog);
  line.addr = LineAddr;
  line.bytes = InstrBytes;
  line.label = LineLabel;
  line.opcode = LineOpcode;
  line.operand = LineOperand;
  if (PendingLines.size() < 2 || !LineLabel.empty()) return;  // a labelled line never folds backwards

  // Index and register folds take the pushes before a "[" in the operand:
  // after any other line, or without a "[" (one scan), they have nothing to do.
  const bool bracket = IsPush(*PendingBefore(1)) && LineOperand.find('[') != std::string::npos;
  if (Opt.FoldIndexes && bracket) FoldIndexes();
  if (Opt.FoldOpcodes && IsCallOrReturn(PendingLines.back().op)) FoldCallsAndReturns();
  if (Opt.FoldSpr && bracket && Contains(LineOperand, "SPR[]")) FoldSpecialRegister();
  // Every other line leaves here, before any text is copied.
  if (Opt.FoldOperators && TakesOperatorFold(PendingLines.back().op)) FoldOperators();
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

void Disassembler::MergeWithPrevious(FoldOp op, const std::string& mnemonic, const std::string& operand) {
  if (PendingLines.size() < 2) return;
  const LineFields& newest = PendingLines.back();
  PendingLines.pop_back();  // the slot keeps newest's text until the next push
  LineFields& previous = PendingLines.back();
  previous.bytes += ' ';
  previous.bytes += newest.bytes;
  previous.opcode = mnemonic;
  previous.op = op;
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
  const FoldOp op = PendingLines.back().op;
  MergeWithPrevious(op, LineOpcode, operand + previous->operand + closing);
  int taken = 1;
  while ((previous = PendingBefore(1)) != nullptr && IsPush(*previous) && (limit == 0 || taken < limit) &&
         Unlabelled(PendingBefore(0))) {
    std::string merged = LineOperand;
    merged.insert(opening, previous->operand + ", ");
    MergeWithPrevious(op, LineOpcode, merged);
    ++taken;
  }
}

void Disassembler::FoldIndexes() {
  const LineFields* previous = PendingBefore(1);
  const LineFields* second = PendingBefore(2);
  if (previous == nullptr) return;
  const std::string operand = LineOperand;
  const FoldOp op = PendingLines.back().op;
  if (Contains(operand, "[][]")) {
    if (second != nullptr && IsPush(*previous) && IsPush(*second) && Unlabelled(previous)) {
      const std::string inner = ReplaceNth(operand, "[]", 1, "[" + previous->operand + "]");
      const std::string both = ReplaceFirst(inner, "[]", "[" + second->operand + "]");
      MergeWithPrevious(op, LineOpcode, both);
      MergeWithPrevious(op, LineOpcode, both);
    }
  } else if (Contains(operand, "[]") && IsPush(*previous)) {
    MergeWithPrevious(op, LineOpcode, ReplaceFirst(operand, "[]", "[" + previous->operand + "]"));
  } else if (Contains(operand, "[..]") && second != nullptr && IsPush(*previous) && IsPush(*second) &&
             Unlabelled(previous)) {
    const std::string range = ReplaceFirst(operand, "[..]", "[" + second->operand + ", " + previous->operand + "]");
    MergeWithPrevious(op, LineOpcode, range);
    MergeWithPrevious(op, LineOpcode, range);
  }
}

void Disassembler::FoldCallsAndReturns() {
  // What a call becomes with the FRAME before it, by the frame's kind.
  struct CallForm {
    FoldOp frame;
    FoldOp callOp;
    const char* call;
    FoldOp objectOp;
    const char* object;
  };
  static constexpr CallForm kForms[] = {
      {FoldOp::FrameResult, FoldOp::CallFun, "CALLFUN", FoldOp::ObjFun, "OBJFUN"},
      {FoldOp::FrameNoResult, FoldOp::CallSub, "CALLSUB", FoldOp::ObjSub, "OBJSUB"},
      {FoldOp::FrameAbortTrap, FoldOp::CallTrap, "CALLTRP", FoldOp::ObjTrap, "OBJTRP"},
      {FoldOp::FrameIgnoreAbort, FoldOp::CallIgnore, "CALLIGN", FoldOp::ObjIgnore, "OBJIGN"}};
  const FoldOp op = PendingLines.back().op;
  if (op == FoldOp::Call || op == FoldOp::CallObject) {
    FoldCallArguments(0);
    const LineFields* previous = PendingBefore(1);
    if (previous == nullptr || !Unlabelled(PendingBefore(0))) return;
    for (const CallForm& form : kForms) {
      if (previous->op == form.frame) {
        if (op == FoldOp::Call) {
          MergeWithPrevious(form.callOp, form.call, LineOperand);
        } else {
          MergeWithPrevious(form.objectOp, form.object, LineOperand);
        }
        return;
      }
    }
  } else if (op == FoldOp::ReturnValue || op == FoldOp::AbortValue) {
    const LineFields* previous = PendingBefore(1);
    if (previous == nullptr || !IsPush(*previous)) return;
    if (op == FoldOp::ReturnValue) {
      MergeWithPrevious(FoldOp::Return, "RETURN", "");
    } else {
      MergeWithPrevious(FoldOp::Abort, "ABORT", "");
    }
  }
}

void Disassembler::FoldSpecialRegister() {
  const LineFields* previous = PendingBefore(1);
  if (previous == nullptr || !IsConstantPush(*previous)) return;
  const int value = PushedLiteral(previous->op);  // 0 names PAR, 15 VSCL
  if (value < 0) return;
  const std::string_view name = tables_.Spin.RegisterNames[16 + static_cast<std::size_t>(value)];
  MergeWithPrevious(PendingLines.back().op, LineOpcode, ReplaceFirst(LineOperand, "SPR[]", name));
}

void Disassembler::FoldOperators() {
  const FoldOp op = PendingLines.back().op;
  switch (op) {
    case FoldOp::Case: case FoldOp::CaseRange: case FoldOp::Lookup: case FoldOp::LookDown:
    case FoldOp::LookupRange: case FoldOp::LookDownRange: case FoldOp::StrComp:
    case FoldOp::ByteFill: case FoldOp::WordFill: case FoldOp::LongFill:
    case FoldOp::ByteMove: case FoldOp::WordMove: case FoldOp::LongMove: case FoldOp::Pop:
      break;
    case FoldOp::CogInitSub: case FoldOp::CogInitFun:
      FoldCallArguments(3);
      return;
    case FoldOp::LockClearSub: case FoldOp::LockSetSub: case FoldOp::LockReturnSub:
    case FoldOp::LockClearFun: case FoldOp::LockSetFun: case FoldOp::LockNewFun:
      FoldCallArguments(1);
      return;
    default:
      return;
  }
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

  switch (op) {
    case FoldOp::Case:
      if (constants(1)) MergeWithPrevious(FoldOp::Case, "CASE", p1->operand + ", " + operand);
      return;
    case FoldOp::Lookup: case FoldOp::LookDown:
      if (constants(1)) MergeWithPrevious(op, mnemonic, p1->operand);
      return;
    case FoldOp::CaseRange: case FoldOp::LookupRange: case FoldOp::LookDownRange: case FoldOp::StrComp: {
      if (!constants(2) || !Unlabelled(p1)) return;
      const std::string first = p2->operand, second = p1->operand;
      std::string merged = first + ", " + second;
      std::string folded = mnemonic;
      FoldOp foldedOp = op;
      if (op == FoldOp::LookupRange) folded = "LOOKUP", foldedOp = FoldOp::Lookup;
      if (op == FoldOp::LookDownRange) folded = "LOOKDN", foldedOp = FoldOp::LookDown;
      if (op == FoldOp::CaseRange) {
        folded = "CASE", foldedOp = FoldOp::Case;
        merged = first + ", " + second + ", " + operand;
      }
      MergeWithPrevious(foldedOp, folded, merged);
      MergeWithPrevious(foldedOp, folded, merged);
      return;
    }
    case FoldOp::ByteFill: case FoldOp::WordFill: case FoldOp::LongFill:
    case FoldOp::ByteMove: case FoldOp::WordMove: case FoldOp::LongMove: {
      if (!constants(3) || !Unlabelled(p1) || !Unlabelled(p2)) return;
      const std::string merged = p3->operand + ", " + p2->operand + ", " + p1->operand;
      for (int i = 0; i < 3; ++i) MergeWithPrevious(op, mnemonic, merged);
      return;
    }
    case FoldOp::Pop: {
      const FoldOp before = p1->op;
      if (IsPush(*p1) && !Contains(operand, "[]") && !Contains(operand, "[..]") && !Contains(p1->operand, "[]") &&
          !Contains(p1->operand, "[..]")) {
        MergeWithPrevious(FoldOp::Let, "LET", operand + ", " + p1->operand);
      } else if (before == FoldOp::CallFun || before == FoldOp::ObjFun) {
        MergeWithPrevious(before, p1->opcode, p1->operand + ", " + operand);
      } else if (before == FoldOp::CogInitFun || before == FoldOp::LockClearFun || before == FoldOp::LockSetFun) {
        MergeWithPrevious(before, p1->opcode, "( " + p1->operand + " ), " + operand);
      } else if (before == FoldOp::LockNewFun) {
        MergeWithPrevious(before, p1->opcode, operand);
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace brevin
