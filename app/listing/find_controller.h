// Find and Find Next for the listing and the debug window's text: the search
// text, its option bits and history (kept in the "Find" section), the search
// state and the one find dialog.
#pragma once

#include <QObject>
#include <QPointer>

#include "dialogs/find_dialog.h"
#include <QString>
#include <QStringList>
#include <memory>

class QPlainTextEdit;
class QWidget;

namespace brevin {

class FindDialog;
class SettingsStore;
class TextSearch;

class FindController : public QObject {
  Q_OBJECT

 public:
  FindController(SettingsStore& store, QWidget* dialogParent);
  ~FindController() override;

  // Ctrl+F: the find dialog for a text area (opened, or refocused on the area).
  void OpenDialog(QPlainTextEdit* target);
  // F3 in the listing: Find Next with the last search once a search was made
  // in this run, else the dialog.
  void FindNextInListing(QPlainTextEdit* listing);
  // F3 in another text: Find Next with the search text when there is one, else the dialog.
  void FindNextIn(QPlainTextEdit* target);
  // A selection made while the dialog is open proposes itself as the search text.
  void FollowSelection(const QString& selected);
  void CloseDialog();

  void Load(const SettingsStore& store);
  void Save(SettingsStore& store) const;

  const QString& Text() const { return text_; }
  void SetText(const QString& text) { text_ = text; }
  int Mode() const { return mode_; }
  const QStringList& History() const { return history_; }
  TextSearch& Search() { return *search_; }
  FindDialog* Dialog() const { return dialog_; }

 private:
  SettingsStore& store_;
  QWidget* dialogParent_;
  QString text_;
  int mode_ = 0;
  QStringList history_;
  std::unique_ptr<TextSearch> search_;
  QPointer<FindDialog> dialog_;
};

}  // namespace brevin
