// Listing layout: the five line fields become one formatted line; the core's
// own line producers (header, data items, equates, markers, assembler blocks).
#include <algorithm>
#include <cstring>

#include "brevin/text.h"
#include "brevin/version_text.h"
#include "disassembler.h"

namespace brevin {

namespace {
constexpr std::size_t kBytesWidth = 15;     // five bytes on the instruction line
constexpr std::size_t kOverflowWidth = 27;  // continuation lines: address, "+", four bytes
constexpr std::size_t kContinuationBytes = 16;  // where a continuation line's bytes begin
constexpr std::size_t kColBytes = 13;
constexpr std::size_t kColLabel = 29;
constexpr std::size_t kColOpcodeImage = 38;
constexpr std::size_t kColOpcodeBare = 9;
constexpr std::size_t kCommentColumn = 24;  // comments of data lines, after the opcode column

// Writes a line into a buffer sized for it; columns count from its start. The
// caller sizes the buffer for the longest layout of the fields plus kSlack, so
// no write checks for room.
constexpr std::size_t kSlack = 64;
class LineWriter {
 public:
  explicit LineWriter(char* start) : start_(start), end_(start) {}
  std::size_t Width() const { return static_cast<std::size_t>(end_ - start_); }
  char Back() const { return end_[-1]; }
  void Drop(std::size_t n) { end_ -= n; }
  void Put(std::string_view text) {
    // Most fields are short: copied by two overlapping fixed-size moves,
    // which need no library call and read nothing outside the text.
    const char* from = text.data();
    const std::size_t n = text.size();
    if (n >= 8 && n <= 16) {
      std::uint64_t head, tail;
      std::memcpy(&head, from, 8);
      std::memcpy(&tail, from + n - 8, 8);
      std::memcpy(end_, &head, 8);
      std::memcpy(end_ + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
      std::uint32_t head, tail;
      std::memcpy(&head, from, 4);
      std::memcpy(&tail, from + n - 4, 4);
      std::memcpy(end_, &head, 4);
      std::memcpy(end_ + n - 4, &tail, 4);
    } else if (n > 0 && n < 4) {
      end_[0] = from[0];
      end_[n / 2] = from[n / 2];
      end_[n - 1] = from[n - 1];
    } else if (n > 16) {
      std::memcpy(end_, from, n);
    }
    end_ += n;
  }
  void Blanks(std::size_t n) {
    // Most gaps are short: a fixed-size fill needs no call, the slack takes the rest.
    if (n <= 32) {
      std::memset(end_, ' ', 32);
    } else {
      std::memset(end_, ' ', n);
    }
    end_ += n;
  }
  // Blanks up to the column, or one blank when already there.
  void PadTo(std::size_t column) { Blanks(Width() >= column ? 1 : column - Width()); }

 private:
  char* start_;
  char* end_;
};

std::string ContinuationHead(std::int64_t address) {
  return Hex4(address) + std::string(10, ' ') + "+";
}
}  // namespace

std::string Disassembler::LabelText(const std::string& name) const {
  return Opt.ColonsAfterLabels ? name + ":" : name;
}

void Disassembler::WriteRawLine(std::string_view text) {
  Listing += text;
  EndLine();
}

void Disassembler::EndLine() {
  Listing += kCrLf;
  MarkLineEnd();
}

void Disassembler::MarkLineEnd() {
  // Without a model the marks are written but never kept, nor cleared.
  if (keepLineMarks_) {
    nextMark_.end = static_cast<std::uint32_t>(Listing.size() - kCrLf.size());
    lineMarks_.push_back(nextMark_);
    nextMark_ = LineMark{};
  }
}

void Disassembler::FormatLine() { FormatLine(CurrentLine()); }

void Disassembler::FormatLine(const LineFields& fields) {
  if (fields.opcode.size() == 1 && fields.opcode[0] == '_') {
    if (!LastLineBlank) WriteRawLine("");
    LastLineBlank = true;
    return;
  }

  std::string_view addr = fields.addr;
  if (!addr.empty() && addr.front() == '_') {
    if (!LastLineBlank) WriteRawLine("");
    LastLineBlank = true;
    addr.remove_prefix(1);
  }
  // Guesses over unreached bytes leave the indentation as they found it, and
  // lines outside Spin code start from none.
  if (fields.unreached != inUnreachedRun_) {
    if (fields.unreached) indentBeforeRun_ = IndentLevel;
    else IndentLevel = indentBeforeRun_;
    inUnreachedRun_ = fields.unreached;
  }
  if (fields.flat) IndentLevel = 0;
  // The mark of the line is filled in place (it starts cleared when a model is wanted).
  LineMark& mark = nextMark_;
  mark.hub = fields.hub;
  mark.cog = fields.cog;
  mark.kind = fields.kind;

  // The line is assembled in a scratch buffer large enough for any layout of
  // these fields, then appended to the listing in one piece.
  std::string_view operand = fields.operand;
  int growth = 0;
  if (!operand.empty() && operand.back() == '>') {
    operand.remove_suffix(1);
    growth = 2;
  } else if (!operand.empty() && operand.back() == '<') {
    operand.remove_suffix(1);
    IndentLevel = IndentLevel >= 2 ? IndentLevel - 2 : 0;
  }
  const std::string_view opcode = fields.opcode;
  // Padding only brings the width up to a column (at most the opcode column plus the
  // indent) or adds one blank; besides the fields come at most " [2]" and the
  // opcode's gap of nine: 64 more than the fields and the columns is room to
  // spare, and kSlack more takes the writer's fixed-size fills.
  // A person's comment ends the first code or data line at its address.
  std::map<std::int32_t, std::string>::iterator note = givenComments_.end();
  if (!givenComments_.empty() && fields.hub >= 0 &&
      (fields.kind == LineKind::Code || fields.kind == LineKind::Data || fields.kind == LineKind::Unreached))
    note = givenComments_.find(fields.hub);
  const std::size_t noteRoom = note == givenComments_.end() ? 0 : note->second.size() + 4;
  const std::size_t bound = noteRoom + addr.size() + fields.bytes.size() + fields.label.size() + opcode.size() + operand.size() +
                            static_cast<std::size_t>(IndentLevel) + kColOpcodeImage + 64 + kSlack;
  if (lineScratch_.size() < bound) lineScratch_.resize(bound);
  LineWriter out(lineScratch_.data());

  std::string_view overflowBytes;  // instruction bytes beyond the first five
  std::size_t column;
  if (Opt.ShowImage) {
    // The address field: "0123" for a hub address, "0123   045" or "       045" with a cog register.
    out.Put(addr);
    mark.hubShown = fields.hub >= 0;
    mark.cogShown = fields.cog >= 0;
    if (!fields.bytes.empty()) {
      std::string_view bytes = fields.bytes;
      if (bytes.size() > kBytesWidth) {
        overflowBytes = bytes.substr(kBytesWidth);
        bytes = bytes.substr(0, kBytesWidth);
      }
      out.PadTo(kColBytes);
      mark.bytesStart = static_cast<std::uint16_t>(out.Width());
      mark.bytesLength = static_cast<std::uint16_t>(bytes.size());
      out.Put(bytes);
    }
    if (!fields.label.empty()) {
      mark.labelStart = static_cast<std::uint16_t>(out.Width() >= kColLabel ? out.Width() + 1 : kColLabel);
      out.PadTo(kColLabel);
      out.Put(fields.label);
    }
    column = kColOpcodeImage;
  } else {
    out.Put(fields.label);
    column = kColOpcodeBare;
  }
  mark.labelLength = static_cast<std::uint16_t>(fields.label.size());
  if (keepLineMarks_ && !fields.label.empty() && fields.hub >= 0 && SymbolIds[static_cast<std::size_t>(fields.hub)] != 0) {
    bool numbered;
    mark.definesLabel = fields.label == LabelText(NameOfSymbol(0, fields.hub, 0, numbered));
  }

  // The opcode column's text: the opcode, blanks to 9 characters (at least one)
  // when an operand follows, and the operand.
  const std::size_t gap = operand.empty() || opcode.empty() ? 0 : opcode.size() >= 9 ? 1 : 9 - opcode.size();
  const std::size_t textLength = opcode.size() + gap + operand.size();
  const auto putText = [&](std::size_t skip) {  // the text without its first skip characters
    const std::size_t fromOpcode = std::min(skip, opcode.size());
    out.Put(opcode.substr(fromOpcode));
    skip -= fromOpcode;
    const std::size_t fromGap = std::min(skip, gap);
    out.Blanks(gap - fromGap);
    out.Put(operand.substr(skip - fromGap));
  };

  // Where the opcode and operand land: putText(skip) starts the text skip
  // characters in, so the fields sit at fixed distances from where it begins.
  const auto markFields = [&](std::size_t skip) {
    const std::size_t begin = out.Width();
    const std::size_t opcodeFrom = std::min(skip, opcode.size());
    mark.opcodeStart = static_cast<std::uint16_t>(begin);
    mark.opcodeLength = static_cast<std::uint16_t>(opcode.size() - opcodeFrom);
    const std::size_t operandSkip = skip > opcode.size() + gap ? skip - opcode.size() - gap : 0;
    mark.operandStart = static_cast<std::uint16_t>(begin + (opcode.size() - opcodeFrom) + gap -
                                                   std::min(gap, skip - opcodeFrom));
    mark.operandLength = static_cast<std::uint16_t>(operand.size() - std::min(operandSkip, operand.size()));
    const std::size_t comment = fields.commentAt;
    if (comment != std::string::npos && comment >= operandSkip && comment < operand.size()) {
      mark.commentStart = static_cast<std::uint16_t>(mark.operandStart + comment - operandSkip);
      mark.commentLength = static_cast<std::uint16_t>(operand.size() - comment);
      mark.operandLength = static_cast<std::uint16_t>(comment - operandSkip);
    }
    // A field that holds more than the mnemonic: the operands follow the mnemonic
    // in that field (up to a comment). Only blanks are ever skipped, never a word.
    const FieldWords& words = fields.words;
    if (words.mnemonicAt == FieldWords::kWholeField) return;
    std::size_t at, end;
    if (words.inOperand) {
      if (words.mnemonicAt < operandSkip) return;
      at = mark.operandStart + words.mnemonicAt - operandSkip;
      end = mark.operandStart + mark.operandLength;
    } else {
      if (words.mnemonicAt < opcodeFrom) return;
      at = begin + words.mnemonicAt - opcodeFrom;
      end = begin + opcode.size() - opcodeFrom;
      mark.conditionStart = static_cast<std::uint16_t>(begin);
      mark.conditionLength = words.conditionLength;
      if (words.commentAt != FieldWords::kWholeField && words.commentAt >= opcodeFrom && words.commentAt < opcode.size()) {
        mark.commentStart = static_cast<std::uint16_t>(begin + words.commentAt - opcodeFrom);
        mark.commentLength = static_cast<std::uint16_t>(end - mark.commentStart);
        end = mark.commentStart;
      }
    }
    mark.opcodeStart = static_cast<std::uint16_t>(at);
    mark.opcodeLength = words.mnemonicLength;
    mark.operandStart = static_cast<std::uint16_t>(std::min(at + words.mnemonicLength, end));
    mark.operandLength = static_cast<std::uint16_t>(end - mark.operandStart);
  };
  if (!fields.bytes.empty()) mark.byteCount = static_cast<std::uint16_t>((fields.bytes.size() + 1) / 3);

  if (textLength != 0) {
    const std::size_t c = column + static_cast<std::size_t>(IndentLevel);
    if (out.Width() > c) {
      mark.textStart = static_cast<std::uint16_t>(out.Width());
      const std::size_t excess = out.Width() - c;
      // The leading blanks of the text absorb the long left part, if it has that many.
      std::size_t blanks = opcode.find_first_not_of(' ');
      if (blanks == std::string_view::npos) {
        const std::size_t inOperand = operand.find_first_not_of(' ');
        blanks = opcode.size() + gap + (inOperand == std::string_view::npos ? operand.size() : inOperand);
      }
      if (textLength >= excess && blanks >= excess) {
        if (keepLineMarks_) markFields(excess);
        putText(excess);
      } else {
        out.Put(" [2]");
        if (keepLineMarks_) markFields(0);
        putText(0);
      }
    } else {
      out.PadTo(c);
      if (keepLineMarks_) markFields(0);
      putText(0);
      mark.textStart = static_cast<std::uint16_t>(c);
    }
  }
  const bool blankAfter = out.Width() > 0 && out.Back() == '_';
  if (keepLineMarks_ && !fields.named.empty() && mark.textStart != LineMark::kNoText) {
    mark.refsBegin = static_cast<std::uint32_t>(lineRefs_.size());
    RecordNameRefs(std::string_view(lineScratch_.data(), out.Width() - (blankAfter ? 1 : 0)),
                   std::max<std::size_t>(mark.textStart, mark.labelStart + mark.labelLength), fields.named);
    mark.refsEnd = static_cast<std::uint32_t>(lineRefs_.size());
  }

  // The line and its CR LF go into the listing in one piece.
  if (blankAfter) out.Drop(1);
  if (note != givenComments_.end()) {
    out.Put(out.Width() == 0 ? "' " : "  ' ");
    mark.noteStart = static_cast<std::uint16_t>(out.Width());
    mark.noteLength = static_cast<std::uint16_t>(std::min<std::size_t>(note->second.size(), 0xFFFF));
    out.Put(note->second);
    givenComments_.erase(note);
  }
  out.Put(kCrLf);
  Listing.append(lineScratch_.data(), out.Width());
  MarkLineEnd();
  if (blankAfter) WriteRawLine("");
  LastLineBlank = blankAfter;
  IndentLevel += growth;

  if (!overflowBytes.empty()) {
    // Continuation lines show the address of their first byte (four hex digits).
    std::int64_t at = ((fields.hub < 0 ? 0 : fields.hub) + 5) & 0xFFFF;
    std::string overflow = ContinuationHead(at) + " " + std::string(overflowBytes);
    const auto markContinuation = [&](std::size_t width) {
      nextMark_.hub = static_cast<std::int32_t>(at);
      nextMark_.kind = LineKind::Continuation;
      nextMark_.hubShown = true;
      nextMark_.bytesStart = static_cast<std::uint16_t>(kContinuationBytes);
      nextMark_.bytesLength = static_cast<std::uint16_t>(width - kContinuationBytes);
    };
    while (overflow.size() > kOverflowWidth) {
      markContinuation(kOverflowWidth);
      WriteRawLine(std::string_view(overflow).substr(0, kOverflowWidth));
      at = (at + 4) & 0xFFFF;
      overflow = ContinuationHead(at) + overflow.substr(kOverflowWidth);
    }
    markContinuation(overflow.size());
    WriteRawLine(overflow);
  }
}

void Disassembler::RecordNameRefs(std::string_view line, std::size_t from, const std::vector<std::int32_t>& named) {
  // Every place of the line, after its label, where one of the names stands as
  // a whole word (not after "$" or "%", which start numbers); in column order.
  const auto wordChar = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  };
  const std::size_t first = lineRefs_.size();
  for (auto it = named.begin(); it != named.end(); ++it) {
    const std::int32_t target = *it;
    if (std::find(named.begin(), it, target) != it) continue;  // named before in this line
    bool numbered;
    const std::string name = NameOfSymbol(0, target, 0, numbered);
    for (std::size_t at = line.find(name, from); at != std::string_view::npos; at = line.find(name, at + 1)) {
      const std::size_t end = at + name.size();
      if (at > 0 && (wordChar(line[at - 1]) || line[at - 1] == '$' || line[at - 1] == '%')) continue;
      if (end < line.size() && wordChar(line[end])) continue;
      lineRefs_.push_back(LineNameRef{static_cast<std::uint16_t>(at), static_cast<std::uint16_t>(end), target});
    }
  }
  std::sort(lineRefs_.begin() + static_cast<std::ptrdiff_t>(first), lineRefs_.end(),
            [](const LineNameRef& x, const LineNameRef& y) { return x.start < y.start; });
}

void Disassembler::EmitBlankLine() {
  if (LineOp == FoldOp::None) {
    // Queued as it is, leaving the line being built alone: a blank line (no
    // label, operand or id) takes part in no fold.
    LineFields& line = QueueSlot(-1, -1);
    line.addr.clear();
    line.bytes.clear();
    line.label.clear();
    SetText(line.opcode, "_");
    line.operand.clear();
    return;
  }
  const std::string addr = LineAddr, bytes = InstrBytes, label = LineLabel;
  const std::int32_t hub = LineHub;
  const std::int16_t cog = LineCog;
  LineAddr.clear();
  LineHub = -1;
  LineCog = -1;
  InstrBytes.clear();
  LineLabel.clear();
  LineOpcode = "_";
  LineOperand.clear();
  EmitLine();
  LineAddr = addr;
  LineHub = hub;
  LineCog = cog;
  InstrBytes = bytes;
  LineLabel = label;
}

void Disassembler::WriteTitleBlock(const std::string& imagePath, bool autoReloaded) {
  const std::string title = "Disassembly of " + imagePath;
  WriteRawLine(title);
  WriteRawLine(std::string(CodePointCount(title), '='));  // one "=" per character shown
  if (autoReloaded) {
    WriteRawLine("");
    WriteRawLine("Auto-Reloaded at " + host_.TimeOfDay());
  }
  const std::string issues = KnownIssuesText("");
  if (!issues.empty()) {
    WriteRawLine("");
    WriteRawLine(issues.substr(kCrLf.size()));
  }
  WriteRawLine("");
  WriteRawLine("Addr   Org   Instruction     Label    Opcode   Operand");
  WriteRawLine("----   ---   -----------     -----    ------   -------");
  WriteRawLine("");
}

void Disassembler::ListHeaderBlock() {
  struct HeaderLine {
    const char* format;
    const char* comment;
  };
  static constexpr HeaderLine kHeader[] = {
      {"LONG     k4", "Clock Freq"},
      {"BYTE     y", "Clock Mode_"},
      {"BYTE     $k1", "Checksum_"},
      {"WORD     $k2", "PBASE - Base of Program"},
      {"WORD     $k2", "VBASE - Base of Variables"},
      {"WORD     $k2", "SBASE - Base of Stack"},
      {"WORD     $k2", "PINIT - Initial Program Counter"},
      {"WORD     $k2", "SINIT - Initial Stack Pointer_"},
  };
  for (const HeaderLine& h : kHeader) {
    // Each header field carries the label of its own address, if it has one.
    LineLabel = SymbolIds[static_cast<std::size_t>(ReadCursor)] != 0
                    ? LabelText(SymbolName(0, ReadCursor, 0))
                    : std::string();
    ListDataLine(h.format, h.comment);
  }
}

void Disassembler::ListDataLine(const std::string& format, const std::string& comment) {
  AssignHex(LineAddr, static_cast<std::uint32_t>(ReadCursor), 4);
  LineHub = static_cast<std::int32_t>(ReadCursor & 0xFFFF);
  LineCog = -1;
  InstrBytes.clear();
  LineOpcode.clear();
  LineOperand.clear();
  SetFlag(ReadCursor, flag::Done);
  InterpretFormat(ReadCursor, format);
  if (!comment.empty()) {
    LineOperand = PadTo(LineOperand, kCommentColumn);
    if (LineCommentAt == std::string::npos) LineCommentAt = LineOperand.size();
    LineOperand += "; " + comment;
  }
  EmitLine();
}

void Disassembler::ListDataItem() {
  using namespace flag;
  const std::int64_t at = ReadCursor;
  std::string comment;
  if (HasFlag(at, Pads)) {
    SetSection(section::Padding);
    comment = "Alignment Padding";
  } else {
    SetSection(HasFlag(at, Link) ? section::ObjectTable : section::Data);
  }

  if (HasFlag(at, Link)) {
    const std::int64_t entry = (at - ObjBase) / 4;
    comment = entry == 0 ? "+0 = Next Object_" : SignedText(entry);
    ListDataLine("LINK     x", comment);
  } else if (HasFlag(at, Long)) {
    ListDataLine("LONG     k4", comment);
    ListSubPartEquates(4, Word, 'W', "HML");
    ListSubPartEquates(4, Byte, 'B', "0123");
  } else if (HasFlag(at, Word)) {
    ListDataLine("WORD     k2", comment);
    ListSubPartEquates(2, Byte, 'B', "HL");
  } else {
    ListDataLine(HasFlag(at, Aray) && ByteAt(at) != 0 ? "BYTE     kc" : "BYTE     k1", comment);
  }
}

void Disassembler::ListSubPartEquates(int size, std::uint32_t flagBit, char letter, const std::string& partNames) {
  const std::int64_t start = ReadCursor - size;
  if (HasFlag(start, flag::Pads)) return;
  bool any = false;
  for (int i = 0; i < size; ++i) {
    if (!HasFlag(start + i, flagBit)) continue;
    if (!any) EmitBlankLine();
    any = true;
    const std::string part = static_cast<std::size_t>(i) < partNames.size() ? partNames.substr(static_cast<std::size_t>(i), 1) : "";
    ListEquate(start, i, letter, part);
  }
  if (any) EmitBlankLine();
}

void Disassembler::ListEquate(std::int64_t start, int i, char letter, const std::string& part) {
  LineAddr = Hex4(start + i);
  LineHub = static_cast<std::int32_t>((start + i) & 0xFFFF);
  LineCog = -1;
  InstrBytes.clear();
  LineOpcode = "EQU";
  const std::string name = HubName(start);
  std::string label = name;
  // A generated name changes its letter; a given one gets the letter after it.
  if (Opt.ShowLabels && GivenName(start) != nullptr) {
    label += "_";
    label += letter;
  } else if (!label.empty()) {
    label[0] = letter;
  }
  LineLabel = label + "_" + part;
  LineOperand = name + SignedText(i);
  EmitLine();
}

void Disassembler::ListMarker(std::string_view name, std::string_view opcode, std::string_view operand,
                              std::string_view comment) {
  FlushAsmVars();
  std::string savedLabel = std::move(LineLabel);
  if (!name.empty()) {
    SetText(LineAddr, "_");
    AppendHex(LineAddr, static_cast<std::uint32_t>(ReadCursor), 4);
    LineHub = static_cast<std::int32_t>(ReadCursor & 0xFFFF);
    LineCog = -1;
    SetText(LineLabel, name);
    if (Opt.ColonsAfterLabels) LineLabel.push_back(':');  // as LabelText
  } else {
    SetText(LineAddr, "_");
    LineHub = -1;
    LineCog = -1;
    LineLabel.clear();
  }
  InstrBytes.clear();
  SetText(LineOpcode, opcode);
  if (!operand.empty()) {
    PadInPlace(LineOpcode, 9);
    LineOpcode.append(operand);
    LineWords = FieldWords{0, 0, static_cast<std::uint16_t>(opcode.size()), false};
  }
  if (!comment.empty()) {
    LineWords.commentAt = static_cast<std::uint16_t>(LineOpcode.size());
    LineOpcode.append(comment);
  }
  SetText(LineOperand, "_");
  flatLines_ = true;
  lineKind_ = LineKind::Directive;
  EmitLine();
  lineKind_ = LineKind::Text;
  flatLines_ = false;
  LineLabel = std::move(savedLabel);
}

void Disassembler::StartAsmBlock() {
  AsmVarsPending = true;
  ClearVarIds();
}

void Disassembler::ListAsmBlockStart() {
  FlushAsmVars();
  StartAsmBlock();
  const std::string savedLabel = LineLabel;
  LineAddr = "_";
  LineHub = -1;
  LineCog = -1;
  InstrBytes.clear();
  LineLabel.clear();
  LineOpcode = "ALIGN";
  LineOperand = "       ORG      0_";
  flatLines_ = true;
  lineKind_ = LineKind::Directive;
  EmitLine();
  lineKind_ = LineKind::Text;
  flatLines_ = false;
  LineLabel = savedLabel;
}

void Disassembler::FlushAsmVars() {
  if (!AsmVarsPending) return;
  const std::string savedLabel = LineLabel;
  flatLines_ = true;
  int expected = -1;
  for (int r = 0; r <= 495; ++r) {
    const std::int64_t h = CogOrgBase + 4 * static_cast<std::int64_t>(r);
    if (h < ReadCursor || !InImage(h) || VarIds[static_cast<std::size_t>(h)] == 0) continue;
    if (r != expected) {
      LineAddr = "_";
      LineHub = -1;
      LineCog = -1;
      InstrBytes.clear();
      LineLabel.clear();
      LineOpcode = "ALIGN";
      LineOperand = "       ORG      $" + HexText(static_cast<std::uint32_t>(r), r < 256 ? 2 : 3) + "_";
      lineKind_ = LineKind::Directive;
      EmitLine();
      lineKind_ = LineKind::Text;
    }
    expected = r + 1;
    LineAddr = std::string(7, ' ') + Hex3(r);
    LineHub = -1;
    LineCog = static_cast<std::int16_t>(r & 0xFFF);
    const std::string* given = GivenName(h);
    const std::string label = "V" + DecText(VarIds[static_cast<std::size_t>(h)] & 0xFFFF);
    if (keepLineMarks_) RecordCogVariable(label, h);
    LineLabel = LabelText(given ? *given : label);
    InstrBytes = "00 00 00 00";
    LineOpcode = std::string(16, ' ') + "LONG";
    LineOperand = "    0";
    const std::uint32_t value = LongAt(h);
    if (value != 0) {
      LineCommentAt = LineOperand.size() + 9;
      LineOperand += std::string(9, ' ') + "; $";
      for (int i = 0; i < 4; ++i) LineOperand += HexText(ByteAt(h + i), 2);
      LineOperand += " / " + DecText(static_cast<std::int32_t>(value));
    }
    EmitLine();
  }
  AsmVarsPending = false;
  ClearVarIds();
  flatLines_ = false;
  LineLabel = savedLabel;
}

}  // namespace brevin
