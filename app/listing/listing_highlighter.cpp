#include "listing/listing_highlighter.h"

#include <QTextDocument>

namespace brevin {

namespace {
constexpr int kBytesColumn = 13;  // instruction bytes on an image listing
}  // namespace

ListingHighlighter::ListingHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  auto make = [](const QColor& colour, bool bold = false, bool italic = false) {
    QTextCharFormat f;
    f.setForeground(colour);
    if (bold) f.setFontWeight(QFont::Bold);
    f.setFontItalic(italic);
    return f;
  };
  formats_[Address] = make(QColor(0x60, 0x60, 0x90));
  formats_[Cog] = make(QColor(0x80, 0x50, 0x90));
  formats_[Bytes] = make(QColor(0x90, 0x90, 0x90));
  formats_[Label] = make(QColor(0x00, 0x60, 0x00), true);
  formats_[Mnemonic] = make(QColor(0x00, 0x30, 0xA0), true);
  formats_[Operand] = make(QColor(0x20, 0x20, 0x20));
  formats_[Comment] = make(QColor(0x70, 0x70, 0x50), false, true);
  formats_[Source] = make(QColor(0xA0, 0x40, 0x00));
  formats_[Unreached] = make(QColor(0xB0, 0xB0, 0xB0));
}

void ListingHighlighter::SetAnalysis(AnalysisPtr analysis) { analysis_ = std::move(analysis); }

void ListingHighlighter::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  rehighlight();
}

void ListingHighlighter::highlightBlock(const QString& text) {
  if (!enabled_ || !analysis_) return;
  const int number = currentBlock().blockNumber();
  if (number < 0 || static_cast<std::size_t>(number) >= analysis_->lines.size()) return;
  const ListingLine& line = analysis_->lines[static_cast<std::size_t>(number)];
  const int length = static_cast<int>(text.size());
  auto paint = [&](std::size_t from, std::size_t to, Part part) {
    const int start = static_cast<int>(std::min<std::size_t>(from, static_cast<std::size_t>(length)));
    const int end = static_cast<int>(std::min<std::size_t>(to, static_cast<std::size_t>(length)));
    if (end > start) setFormat(start, end - start, formats_[part]);
  };

  if (line.textStart != std::string::npos && text.startsWith(QLatin1String("===="))) {  // a Spin source line
    paint(0, static_cast<std::size_t>(length), Source);
    return;
  }
  if (!line.address && !line.cog && line.textStart == std::string::npos && line.labelEnd == line.labelStart) {
    return;  // titles, blanks and the tables after the listing
  }
  const bool unreached = line.labelEnd > line.labelStart &&
                         text.mid(static_cast<int>(line.labelStart), 6) == QLatin1String("; ----");
  if (unreached) {
    paint(0, static_cast<std::size_t>(length), Unreached);
    return;
  }
  const bool image = !analysis_->bytecodeListing;
  if (image) {
    if (line.address) paint(0, 4, Address);
    if (line.cog) paint(7, 10, Cog);
    const std::size_t bytesEnd = line.labelEnd > line.labelStart ? line.labelStart
                                 : line.textStart != std::string::npos ? line.textStart
                                                                        : static_cast<std::size_t>(length);
    paint(kBytesColumn, bytesEnd, Bytes);
  }
  paint(line.labelStart, line.labelEnd, Label);
  if (line.textStart == std::string::npos) return;

  // The opcode is the first word of the text; a comment runs from ';' to the end.
  std::size_t at = line.textStart;
  while (at < static_cast<std::size_t>(length) && text[static_cast<int>(at)] == ' ') ++at;
  if (at < static_cast<std::size_t>(length) && text[static_cast<int>(at)] == ';') {
    paint(at, static_cast<std::size_t>(length), Comment);
    return;
  }
  auto wordEnd = [&](std::size_t from) {
    while (from < static_cast<std::size_t>(length) && text[static_cast<int>(from)] != ' ') ++from;
    return from;
  };
  std::size_t word = wordEnd(at);
  if (text.mid(static_cast<int>(at), 3) == QLatin1String("IF_")) {
    // An assembler condition comes before the instruction: both are the opcode.
    std::size_t next = word;
    while (next < static_cast<std::size_t>(length) && text[static_cast<int>(next)] == ' ') ++next;
    if (next < static_cast<std::size_t>(length) && text[static_cast<int>(next)] != ';') word = wordEnd(next);
  }
  paint(at, word, Mnemonic);
  const int semicolon = text.indexOf(QLatin1Char(';'), static_cast<int>(word));
  const std::size_t comment = semicolon < 0 ? static_cast<std::size_t>(length) : static_cast<std::size_t>(semicolon);
  paint(word, comment, Operand);
  paint(comment, static_cast<std::size_t>(length), Comment);
}

}  // namespace brevin
