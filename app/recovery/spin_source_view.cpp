#include "recovery/spin_source_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>

#include "recovery/spin_source_highlighter.h"

namespace brevin {

SpinSourceView::SpinSourceView(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName("spinSourceView");
  setAccessibleName("Spin source text");
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  highlighter_ = new SpinSourceHighlighter(document());
}

void SpinSourceView::ShowSource(const QString& text) {
  if (text == toPlainText()) return;
  highlighted_ = -1;
  setExtraSelections({});
  setPlainText(text);
}

void SpinSourceView::HighlightLine(int line) {
  if (line >= document()->blockCount()) line = -1;
  if (line == highlighted_) return;
  highlighted_ = line;
  UpdateDecorations();
  if (line < 0) return;
  // The caret stays where the reader put it; only the view moves.
  if (line < FirstLineInView() || line > LastLineInView()) {
    const int visible = std::max(1, LastLineInView() - FirstLineInView());
    verticalScrollBar()->setValue(std::max(0, line - visible / 3));
  }
}

void SpinSourceView::ShowLineAtTop(int line) { verticalScrollBar()->setValue(std::max(0, line)); }

int SpinSourceView::FirstLineInView() const { return verticalScrollBar()->value(); }

int SpinSourceView::LastLineInView() const {
  const int spacing = std::max(1, fontMetrics().lineSpacing());
  return FirstLineInView() + std::max(1, viewport()->height() / spacing) - 1;
}

void SpinSourceView::UpdateDecorations() {
  QList<QTextEdit::ExtraSelection> selections;
  if (highlighted_ >= 0) {
    QColor band = palette().color(QPalette::Highlight);
    band.setAlphaF(0.3);
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(document()->findBlockByNumber(highlighted_));
    mark.format.setBackground(band);
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    selections << mark;
  }
  setExtraSelections(selections);
}

void SpinSourceView::mousePressEvent(QMouseEvent* event) {
  pressedAt_ = event->button() == Qt::LeftButton ? event->position().toPoint() : QPoint(-1, -1);
  QPlainTextEdit::mousePressEvent(event);
}

void SpinSourceView::mouseReleaseEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseReleaseEvent(event);
  // A click, not the end of a drag that selected text to copy.
  if (event->button() == Qt::LeftButton && pressedAt_.x() >= 0 &&
      (event->position().toPoint() - pressedAt_).manhattanLength() < 4 && !textCursor().hasSelection()) {
    emit lineChosen(cursorForPosition(event->position().toPoint()).blockNumber());
  }
  pressedAt_ = QPoint(-1, -1);
}

void SpinSourceView::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    emit lineChosen(textCursor().blockNumber());
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

}  // namespace brevin
