// Searching a text area: the option bits, Find First and Find Next with the
// wrap-around rule, the drop-down history and the text proposed from a selection.
// Independent of the find dialog, which only collects the text and options.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextCursor>

class QPlainTextEdit;
class QTextDocument;

namespace brevin {

// Option bits of a search, the values the store keeps in Find/Mode.
inline constexpr int kFindWholeWord = 2;
inline constexpr int kFindMatchCase = 4;
// The history keeps this many texts, newest first.
inline constexpr int kFindHistorySize = 10;

int GetFindMode(bool wholeWord, bool matchCase);

// The first match of text at or after position from, selected; null when none.
QTextCursor FindInDocument(const QTextDocument& document, const QString& text, int from, int mode);

// Puts a searched text at the top of the drop-down list: exact (case-sensitive)
// comparison, no duplicates, at most kFindHistorySize entries.
void AddToFindHistory(QStringList& list, const QString& text);

// The search text proposed from a selection: the part before its first line
// break, every character outside the printable ASCII range turned into a blank.
QString ProposedFindText(const QString& selection);

// The process-wide search state. The text and mode live in the main window (they
// are stored with the other settings); this object holds them by reference.
class TextSearch {
 public:
  TextSearch(QString& findText, int& findMode) : FindText(findText), FindMode(findMode) {}

  // Searches the whole text from its start; "Text Not Found" when nothing matches.
  // A text other than the last one is added to the history list, when given.
  bool FindFirst(QPlainTextEdit* target, const QString& text, int mode, QStringList* history);
  // Searches on from the last match, once more from the start when nothing
  // follows; "Text Not Found" only when both fail.
  bool FindNext(QPlainTextEdit* target, const QString& text, int mode, QStringList* history);

  QString& FindText;
  int& FindMode;
  int LastFound = -1;         // start of the last match, or -1
  bool Searching = false;     // a search is selecting its match
  bool SearchedOnce = false;  // Find First or Find Next ran in this run

 private:
  void Remember(const QString& text, int mode, QStringList* history);
  bool Select(QPlainTextEdit* target, const QTextCursor& match);
};

}  // namespace brevin
