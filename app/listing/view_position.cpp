#include "listing/view_position.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>

namespace brevin {

namespace {

bool IsHexDigit(QChar c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

QStringList LinesOf(const QPlainTextEdit* area) {
  QStringList lines;
  const QTextDocument* document = area->document();
  lines.reserve(document->blockCount());
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) lines.append(block.text());
  return lines;
}

}  // namespace

QString LineAddress(const QString& line) {
  if (line.size() < 5 || line[4] != ' ') return QString();
  for (int i = 0; i < 4; ++i) {
    if (!IsHexDigit(line[i])) return QString();
  }
  return line.left(4);
}

LineAnchor AnchorOf(const QStringList& lines, int line) {
  LineAnchor anchor;
  anchor.line = line;
  for (int i = std::max(line, 0); i < lines.size(); ++i) {
    const QString address = LineAddress(lines[i]);
    if (address.isEmpty()) continue;
    anchor.address = address;
    anchor.offset = i - line;
    for (int j = 0; j < i; ++j) anchor.occurrence += LineAddress(lines[j]) == address ? 1 : 0;
    break;
  }
  return anchor;
}

int LineOf(const QStringList& lines, const LineAnchor& anchor) {
  const int last = std::max(0, static_cast<int>(lines.size()) - 1);
  if (!anchor.address.isEmpty()) {
    int found = -1;
    int seen = 0;
    for (int i = 0; i < lines.size(); ++i) {
      if (LineAddress(lines[i]) != anchor.address) continue;
      found = i;
      if (seen++ == anchor.occurrence) break;
    }
    if (found >= 0) return std::clamp(found - anchor.offset, 0, last);
  }
  return std::clamp(anchor.line, 0, last);
}

ViewPosition CaptureView(const QPlainTextEdit* area) {
  const QStringList lines = LinesOf(area);
  ViewPosition position;
  // Without line wrapping the vertical scroll value is the top line's number.
  position.top = AnchorOf(lines, area->verticalScrollBar()->value());
  const QTextCursor caret = area->textCursor();
  position.caret = AnchorOf(lines, caret.blockNumber());
  position.caretColumn = caret.positionInBlock();
  position.horizontal = area->horizontalScrollBar()->value();
  return position;
}

void RestoreView(QPlainTextEdit* area, const ViewPosition& position) {
  const QStringList lines = LinesOf(area);
  const QTextBlock caretLine = area->document()->findBlockByNumber(LineOf(lines, position.caret));
  QTextCursor caret(caretLine);
  caret.setPosition(caretLine.position() + std::min(position.caretColumn, std::max(0, caretLine.length() - 1)));
  area->setTextCursor(caret);
  area->verticalScrollBar()->setValue(LineOf(lines, position.top));
  area->horizontalScrollBar()->setValue(position.horizontal);
}

}  // namespace brevin
