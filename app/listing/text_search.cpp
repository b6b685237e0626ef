#include "listing/text_search.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include "window/prompt.h"

namespace brevin {

int GetFindMode(bool wholeWord, bool matchCase) {
  return (wholeWord ? kFindWholeWord : 0) + (matchCase ? kFindMatchCase : 0);
}

QTextCursor FindInDocument(const QTextDocument& document, const QString& text, int from, int mode) {
  if (text.isEmpty() || from < 0 || from >= document.characterCount()) return QTextCursor();
  QTextDocument::FindFlags flags;
  if ((mode & kFindWholeWord) != 0) flags |= QTextDocument::FindWholeWords;
  if ((mode & kFindMatchCase) != 0) flags |= QTextDocument::FindCaseSensitively;
  return document.find(text, from, flags);
}

void AddToFindHistory(QStringList& list, const QString& text) {
  if (list.isEmpty()) {
    list.append(text);
    return;
  }
  if (list.front() != text) list.prepend(text);
  for (qsizetype i = list.size() - 1; i >= 1; --i) {
    if (list[i] == text) list.removeAt(i);
  }
  while (list.size() > kFindHistorySize) list.removeLast();
}

QString ProposedFindText(const QString& selection) {
  QString text = selection;
  // A selection in a text area ends its lines with the paragraph separator.
  for (const QChar lineEnd : {QChar('\r'), QChar('\n'), QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator)}) {
    const qsizetype at = text.indexOf(lineEnd);
    if (at >= 0) text.truncate(at);
  }
  for (QChar& c : text) {
    if (c.unicode() < 32 || c.unicode() > 126) c = ' ';
  }
  return text;
}

void TextSearch::Remember(const QString& text, int mode, QStringList* history) {
  if (text != FindText) {
    FindText = text;
    if (history != nullptr) AddToFindHistory(*history, text);
  }
  FindMode = mode;
}

bool TextSearch::Select(QPlainTextEdit* target, const QTextCursor& match) {
  if (match.isNull()) return false;
  LastFound = match.selectionStart();
  target->setTextCursor(match);
  target->ensureCursorVisible();
  return true;
}

bool TextSearch::FindFirst(QPlainTextEdit* target, const QString& text, int mode, QStringList* history) {
  if (text.isEmpty() || target == nullptr) return false;
  Searching = true;
  Remember(text, mode, history);
  const QTextCursor match = FindInDocument(*target->document(), text, 0, mode);
  const bool found = Select(target, match);
  if (!found) {
    LastFound = -1;
    Prompt("Find First", "Text Not Found", MessageButtons::Ok, MessageIcon::Information);
  }
  Searching = false;
  SearchedOnce = true;
  return found;
}

bool TextSearch::FindNext(QPlainTextEdit* target, const QString& text, int mode, QStringList* history) {
  if (text.isEmpty() || target == nullptr) return false;
  Searching = true;
  Remember(text, mode, history);
  const QTextDocument& document = *target->document();
  QTextCursor match = FindInDocument(document, text, LastFound + 1, mode);
  if (match.isNull()) match = FindInDocument(document, text, 0, mode);  // wrap around
  const bool found = Select(target, match);
  if (!found) {
    LastFound = -1;
    Prompt("Find Next", "Text Not Found", MessageButtons::Ok, MessageIcon::Information);
  }
  Searching = false;
  SearchedOnce = true;
  return found;
}

}  // namespace brevin
