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

  cboFindText = new QComboBox(this);
  cboFindText->setObjectName("cboFindText");
  cboFindText->setAccessibleName("Find what");
  cboFindText->setEditable(true);
  // The list changes only by the history rules, never by Enter.
  cboFindText->setInsertPolicy(QComboBox::NoInsert);
  cboFindText->setMinimumWidth(260);
  chkMatchCase = new QCheckBox("&Match Case", this);
  chkMatchCase->setObjectName("chkMatchCase");
  chkMatchCase->setAccessibleName("Match Case");
  chkWholeWord = new QCheckBox("&Whole Word", this);
  chkWholeWord->setObjectName("chkWholeWord");
  chkWholeWord->setAccessibleName("Whole Word");
  btnFind = new QPushButton("&Find First", this);
  btnFind->setObjectName("btnFind");
  btnFind->setAccessibleName("Find First");
  btnFindNext = new QPushButton("Find &Next", this);
  btnFindNext->setObjectName("btnFindNext");
  btnFindNext->setAccessibleName("Find Next");

  auto* layout = new QGridLayout(this);
  layout->addWidget(cboFindText, 0, 0, 1, 2);
  layout->addWidget(btnFind, 0, 2);
  layout->addWidget(chkMatchCase, 1, 0);
  layout->addWidget(chkWholeWord, 1, 1);
  layout->addWidget(btnFindNext, 1, 2);
  setFixedSize(sizeHint());

  connect(btnFind, &QPushButton::clicked, this, &FindDialog::FindFirst);
  connect(btnFindNext, &QPushButton::clicked, this, &FindDialog::FindNext);
  connect(cboFindText->lineEdit(), &QLineEdit::returnPressed, this, &FindDialog::FindNext);
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
    cboFindText->setEditText(proposed);
    search_.LastFound = target->textCursor().selectionStart();
  } else {
    cboFindText->setEditText(search_.FindText);
  }
  chkMatchCase->setChecked((search_.FindMode & kFindMatchCase) != 0);
  chkWholeWord->setChecked((search_.FindMode & kFindWholeWord) != 0);
  show();
  raise();
  activateWindow();
  cboFindText->setFocus();
  cboFindText->lineEdit()->selectAll();
}

void FindDialog::Refocus(QPlainTextEdit* target) {
  target_ = target;
  raise();
  activateWindow();
  cboFindText->setFocus();
}

void FindDialog::FollowSelection(const QString& selected) {
  if (search_.Searching || selected.isEmpty()) return;
  cboFindText->setEditText(selected);
}

int FindDialog::Mode() const { return GetFindMode(chkWholeWord->isChecked(), chkMatchCase->isChecked()); }

void FindDialog::ShowEntries() {
  const QString text = cboFindText->currentText();
  cboFindText->clear();
  cboFindText->addItems(entries_);
  cboFindText->setEditText(text);
}

void FindDialog::FindFirst() {
  const QString text = cboFindText->currentText();
  if (text.isEmpty()) return;
  const QStringList previous = entries_;
  search_.FindFirst(target_, text, Mode(), &entries_);
  if (entries_ != previous) ShowEntries();
}

void FindDialog::FindNext() {
  const QString text = cboFindText->currentText();
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
