#include "listing/listing_highlighter.h"

#include <QTextDocument>

namespace brevin {

QTextCharFormat ListingHighlighter::SchemeFormat(Part part) {
  auto make = [](const QColor& colour, bool bold = false, bool italic = false) {
    QTextCharFormat f;
    f.setForeground(colour);
    if (bold) f.setFontWeight(QFont::Bold);
    f.setFontItalic(italic);
    return f;
  };
  switch (part) {
    case Address: return make(QColor(0x60, 0x60, 0x90));
    case Cog: return make(QColor(0x80, 0x50, 0x90));
    case Bytes: return make(QColor(0x90, 0x90, 0x90));
    case Label: return make(QColor(0x00, 0x60, 0x00), true);
    case Mnemonic: return make(QColor(0x00, 0x30, 0xA0), true);
    case Operand: return make(QColor(0x20, 0x20, 0x20));
    case Comment: return make(QColor(0x70, 0x70, 0x50), false, true);
    case Source: return make(QColor(0xA0, 0x40, 0x00));
    case Unreached: return make(QColor(0xB0, 0xB0, 0xB0));
    case kParts: break;
  }
  return {};
}

ListingHighlighter::ListingHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  for (int part = 0; part < kParts; ++part) formats_[part] = SchemeFormat(static_cast<Part>(part));
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
  auto paintSpan = [&](ListingLine::Span span, Part part) { paint(span.start, span.start + span.length, part); };

  // The model's kinds and spans say what each part of the line is: nothing here reads the text.
  switch (line.kind) {
    case LineKind::Text:
      return;  // titles, blanks and the tables after the listing
    case LineKind::Source:
      paint(0, static_cast<std::size_t>(length), Source);
      return;
    case LineKind::Unreached:
      paint(0, static_cast<std::size_t>(length), Unreached);
      return;
    default:
      break;
  }
  paintSpan(line.hubSpan, Address);
  paintSpan(line.cogSpan, Cog);
  paintSpan(line.bytesSpan, Bytes);
  paint(line.labelStart, line.labelEnd, Label);
  // An assembly condition comes before the instruction: both are the opcode.
  if (line.conditionSpan.length != 0) paintSpan(line.conditionSpan, Mnemonic);
  paintSpan(line.mnemonicSpan, Mnemonic);
  paintSpan(line.operandsSpan, Operand);
  paintSpan(line.commentSpan, Comment);
}

}  // namespace brevin
