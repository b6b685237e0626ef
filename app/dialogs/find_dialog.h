// The find dialog " Find": a modeless, always-on-top window with the search text
// and its history, Match Case, Whole Word, Find First and Find Next. The search
// itself is TextSearch's; the dialog collects the text and the option bits.
#pragma once

#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace brevin {

class SettingsStore;
class TextSearch;

class FindDialog : public QWidget {
  Q_OBJECT

 public:
  // history is the stored history (the main window's FindHistory): it fills the
  // drop-down list and receives the list back when the dialog closes.
  FindDialog(TextSearch& search, QStringList& history, SettingsStore& store, QWidget* parent = nullptr);

  // Shows the dialog for the text area: proposes the selected text (or the last
  // search text), ticks the options from the mode bits and takes the focus.
  void Open(QPlainTextEdit* target);
  // The dialog is open already: it only takes the new target and the focus.
  void Refocus(QPlainTextEdit* target);
  // Copies a selection made in the searched text into the search box, unless a
  // search is selecting its own match.
  void FollowSelection(const QString& selected);

  void FindFirst();
  void FindNext();
  QStringList Entries() const { return entries_; }
  QPlainTextEdit* Target() const { return target_; }

  QComboBox* searchTextBox = nullptr;
  QCheckBox* matchCaseBox = nullptr;
  QCheckBox* wholeWordBox = nullptr;
  QPushButton* findFirstButton = nullptr;
  QPushButton* findNextButton = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  int Mode() const;
  void ShowEntries();

  TextSearch& search_;
  QStringList& history_;
  SettingsStore& store_;
  QStringList entries_;  // the drop-down list, newest first
  QPointer<QPlainTextEdit> target_;
};

}  // namespace brevin
