#include "dialogs/find_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>

#include "window/settings_store.h"
#include "listing/text_search.h"
#include "window/window_placement.h"

namespace brevin {

FindDialog::FindDialog(TextSearch& search, QStringList& history, SettingsStore& store, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint),
      search_(search), history_(history), store_(store) {
  setObjectName("FindDialog");
  setAccessibleName("Find");
  setWindowTitle(" Find");
  setAttribute(Qt::WA_DeleteOnClose);

  searchTextBox = new QComboBox(this);
  searchTextBox->setObjectName("searchTextBox");
  searchTextBox->setAccessibleName("Find what");
  searchTextBox->setEditable(true);
  searchTextBox->lineEdit()->setAccessibleName("Find what");  // the part that takes the keys
  // The list changes only by the history rules, never by Enter.
  searchTextBox->setInsertPolicy(QComboBox::NoInsert);
  searchTextBox->setMinimumWidth(260);
  matchCaseBox = new QCheckBox("&Match Case", this);
  matchCaseBox->setObjectName("matchCaseBox");
  matchCaseBox->setAccessibleName("Match Case");
  wholeWordBox = new QCheckBox("&Whole Word", this);
  wholeWordBox->setObjectName("wholeWordBox");
  wholeWordBox->setAccessibleName("Whole Word");
  findFirstButton = new QPushButton("&Find First", this);
  findFirstButton->setObjectName("findFirstButton");
  findFirstButton->setAccessibleName("Find First");
  findNextButton = new QPushButton("Find &Next", this);
  findNextButton->setObjectName("findNextButton");
  findNextButton->setAccessibleName("Find Next");

  auto* layout = new QGridLayout(this);
  layout->addWidget(searchTextBox, 0, 0, 1, 2);
  layout->addWidget(findFirstButton, 0, 2);
  layout->addWidget(matchCaseBox, 1, 0);
  layout->addWidget(wholeWordBox, 1, 1);
  layout->addWidget(findNextButton, 1, 2);
  setFixedSize(sizeHint());

  connect(findFirstButton, &QPushButton::clicked, this, &FindDialog::FindFirst);
  connect(findNextButton, &QPushButton::clicked, this, &FindDialog::FindNext);
  connect(searchTextBox->lineEdit(), &QLineEdit::returnPressed, this, &FindDialog::FindNext);
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

  entries_.clear();
  for (const QString& entry : history_) {
    if (!entry.isEmpty() && entries_.size() < kFindHistorySize) entries_.append(entry);
  }
  ShowEntries();
  RestorePlacement(this, store_, "Find", false);
}

void FindDialog::Open(QPlainTextEdit* target) {
  target_ = target;
  const QString proposed = target != nullptr ? ProposedFindText(target->textCursor().selectedText()) : QString();
  if (!proposed.isEmpty()) {
    searchTextBox->setEditText(proposed);
    search_.LastFound = target->textCursor().selectionStart();
  } else {
    searchTextBox->setEditText(search_.FindText);
  }
  matchCaseBox->setChecked((search_.FindMode & kFindMatchCase) != 0);
  wholeWordBox->setChecked((search_.FindMode & kFindWholeWord) != 0);
  show();
  raise();
  activateWindow();
  searchTextBox->setFocus();
  searchTextBox->lineEdit()->selectAll();
}

void FindDialog::Refocus(QPlainTextEdit* target) {
  target_ = target;
  raise();
  activateWindow();
  searchTextBox->setFocus();
}

void FindDialog::FollowSelection(const QString& selected) {
  if (search_.Searching || selected.isEmpty()) return;
  searchTextBox->setEditText(selected);
}

int FindDialog::Mode() const { return GetFindMode(wholeWordBox->isChecked(), matchCaseBox->isChecked()); }

void FindDialog::ShowEntries() {
  const QString text = searchTextBox->currentText();
  searchTextBox->clear();
  searchTextBox->addItems(entries_);
  searchTextBox->setEditText(text);
}

void FindDialog::FindFirst() {
  const QString text = searchTextBox->currentText();
  if (text.isEmpty()) return;
  const QStringList previous = entries_;
  search_.FindFirst(target_, text, Mode(), &entries_);
  if (entries_ != previous) ShowEntries();
}

void FindDialog::FindNext() {
  const QString text = searchTextBox->currentText();
  if (text.isEmpty()) return;
  const QStringList previous = entries_;
  search_.FindNext(target_, text, Mode(), &entries_);
  if (entries_ != previous) ShowEntries();
}

void FindDialog::closeEvent(QCloseEvent* event) {
  // The list goes back to the stored history; entries beyond its count keep their texts.
  for (qsizetype i = 0; i < entries_.size(); ++i) {
    if (i < history_.size()) {
      history_[i] = entries_[i];
    } else {
      history_.append(entries_[i]);
    }
  }
  SavePlacement(this, store_, "Find", false);
  QWidget::closeEvent(event);
}

}  // namespace brevin
