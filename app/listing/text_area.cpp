#include "listing/text_area.h"

#include <QClipboard>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "listing/listing_view.h"

namespace brevin {

QString SelectionOrAllText(const QPlainTextEdit* area) {
  // A selection marks its line ends with the Unicode paragraph separator.
  QString text = area->textCursor().selectedText();
  if (text.isEmpty()) return area->toPlainText();
  text.replace(QChar::ParagraphSeparator, '\n');
  text.replace(QChar::LineSeparator, '\n');
  return text;
}

void CopyToClipboard(const QPlainTextEdit* area) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(SelectionOrAllText(area));
}

void SelectAllWithoutFlicker(QPlainTextEdit* area) {
  // Selecting moves the caret to the end; the view stays where the reader is.
  const int top = area->verticalScrollBar()->value();
  const int left = area->horizontalScrollBar()->value();
  area->setUpdatesEnabled(false);
  area->selectAll();
  area->verticalScrollBar()->setValue(top);
  area->horizontalScrollBar()->setValue(left);
  area->setUpdatesEnabled(true);
}

void ApplyListingFont(QPlainTextEdit* area, const QFont& chosen) {
  // A stored font that is no longer installed would fall back to a proportional
  // one and break the listing's columns: the default fixed-pitch family stands in.
  QString family = chosen.family();
  if (!QFontDatabase::families().contains(family, Qt::CaseInsensitive)) family = DefaultListingFont().family();
  QFont font(family);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setBold(chosen.bold());
  font.setItalic(chosen.italic());
  if (chosen.pointSizeF() > 0) font.setPointSizeF(chosen.pointSizeF());
  area->setFont(font);
}

}  // namespace brevin
