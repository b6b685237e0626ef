#include "listing/find_controller.h"

#include <QPlainTextEdit>

#include "dialogs/find_dialog.h"
#include "listing/text_search.h"
#include "window/settings_store.h"

namespace brevin {

FindController::FindController(SettingsStore& store, QWidget* dialogParent)
    : QObject(dialogParent), store_(store), dialogParent_(dialogParent),
      search_(std::make_unique<TextSearch>(text_, mode_)) {
  setObjectName("FindController");
}

FindController::~FindController() = default;

void FindController::OpenDialog(QPlainTextEdit* target) {
  if (dialog_) {
    dialog_->Refocus(target);
    return;
  }
  dialog_ = new FindDialog(*search_, history_, store_, dialogParent_);
  dialog_->Open(target);
}

void FindController::FindNextInListing(QPlainTextEdit* listing) {
  if (!text_.isEmpty() && search_->SearchedOnce) {
    search_->FindNext(listing, text_, mode_, nullptr);
  } else {
    OpenDialog(listing);
  }
}

void FindController::FindNextIn(QPlainTextEdit* target) {
  if (text_.isEmpty()) {
    OpenDialog(target);
  } else {
    search_->FindNext(target, text_, mode_, nullptr);
  }
}

void FindController::FollowSelection(const QString& selected) {
  if (dialog_) dialog_->FollowSelection(selected);
}

void FindController::CloseDialog() {
  if (dialog_) dialog_->close();
}

void FindController::Load(const SettingsStore& s) {
  text_ = s.ReadText("Find", "0");
  mode_ = s.ReadInt("Find", "Mode", 0);
  history_.clear();
  for (int i = 1; i <= 10; ++i) {
    const QString entry = s.ReadText("Find", QString::number(i));
    if (!entry.isEmpty()) history_.append(entry);
  }
}

void FindController::Save(SettingsStore& s) const {
  s.WriteText("Find", "0", text_);
  s.WriteInt("Find", "Mode", mode_);
  for (int i = 0; i < 10; ++i) {
    s.WriteText("Find", QString::number(i + 1), i < history_.size() ? history_[i] : QString());
  }
}

}  // namespace brevin
