// Commands of the main window: what a new listing changes in the window, the
// reference tables, the command states and the recent files.
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>
#include <algorithm>

#include "brevin/reports.h"
#include "dialogs/debug_window.h"
#include "document/document_controller.h"
#include "brevin/engine.h"
#include "listing/listing_navigator.h"
#include "listing/outline_dock.h"
#include "recovery/spin_source_controller.h"
#include "window/main_window.h"
#include "window/notice_bar.h"
#include "window/prompt.h"
#include "window/settings_store.h"
#include "window/shell_support.h"

namespace brevin {

namespace {
constexpr int kStatusNoticeMs = 15000;  // how long a load's notice stays in the status bar
}  // namespace

void MainWindow::ShowListed(const QString& path) {
  navigator_->Outline()->NameObjects(document_->ObjectNames());
  FitOutline();
  spinSource_->SetImage(
      {document_->analysis(), path, document_->ImageBytes(), document_->SourceText(), document_->SourcePath()});
  UpdateCaption();
  SetStatusPanel(0, path);
  SetStatusPanel(1, QString::fromStdString(document_->analysis()->sizeText));
  SetListingCommands();
  AddRecentFile(path);
  // The notice above the listing is seen with the status bar hidden (as it is
  // by default); hidden by the reader, it stays away while the image stays.
  if (path != noticeDismissedFor_) noticeDismissedFor_.clear();
  noticeBar_->ShowNotice(noticeDismissedFor_.isEmpty() ? document_->MethodsNotice() : QString(), "Trace All Methods");
  // Said once per load, for a while: the file name panel comes back after it. It
  // replaces the notice of an earlier load, never another message (a drop's).
  QStatusBar* bar = statusBar();
  if (!bar->currentMessage().isEmpty() && bar->currentMessage() != methodsNoticeShown_) {
    methodsNoticeShown_.clear();
    return;
  }
  methodsNoticeShown_ = document_->MethodsNotice();
  if (methodsNoticeShown_.isEmpty()) {
    bar->clearMessage();
  } else {
    bar->showMessage(methodsNoticeShown_, kStatusNoticeMs);
  }
}

void MainWindow::FitOutline() {
  // Once, for the first listing of a window without saved docks: wide enough
  // for the entries, but never more than a quarter of the window.
  if (outlineFitted_ || docksRestored_) return;
  outlineFitted_ = true;
  OutlineDock* outline = navigator_->Outline();
  const int wanted = std::min(outline->WidthForEntries(), width() / 4);
  if (wanted > outline->width()) resizeDocks({outline}, {wanted}, Qt::Horizontal);
}

void MainWindow::SetListingCommands() {
  // The toolbar's Save, Print, Copy and Find are these same actions.
  for (Command command : {Command::Save, Command::SaveAs, Command::Print, Command::PrintWithSource, Command::Copy,
                          Command::SelectAll, Command::Find, Command::FindNext, Command::ExportPdf,
                          Command::ExportSpinSource}) {
    Action(command)->setEnabled(true);
  }
}

void MainWindow::ConnectNoticeBar() {
  connect(noticeBar_, &NoticeBar::accepted, this, [this] {
    if (!Action(Command::TraceAllMethods)->isChecked()) Action(Command::TraceAllMethods)->trigger();
  });
  connect(noticeBar_->CloseButton(), &QToolButton::clicked, this,
          [this] { noticeDismissedFor_ = document_->LastFile(); });
}

void MainWindow::ShowReferenceCommands() {
  noticeBar_->ShowNotice(QString(), QString());
  for (Command command : {Command::Save, Command::SaveAs, Command::PrintWithSource, Command::DownloadRun,
                          Command::DownloadToEeprom, Command::DownloadToRam, Command::ExportSpinSource}) {
    Action(command)->setEnabled(false);
  }
  spinSource_->ClearImage();
  for (Command command :
       {Command::Print, Command::Copy, Command::SelectAll, Command::Find, Command::FindNext, Command::ExportPdf}) {
    Action(command)->setEnabled(true);
  }
}

void MainWindow::ShowSpinOpcodes() {
  document_->ShowReference(SpinOpcodesReport(document_->engine().SeenOpcodes()));
}

void MainWindow::ShowSpinEffects() { document_->ShowReference(SpinEffectsReport()); }

void MainWindow::ShowAsmbOpcodes() { document_->ShowReference(AsmOpcodesReport()); }

void MainWindow::ShowImageFlags() { document_->ShowReference(document_->engine().ListImageFlags()); }

void MainWindow::AddRecentFile(const QString& path) {
  brevin::AddRecentFile(recentFiles_, path);
  RebuildRecentMenu();
}

RecentMenu MainWindow::RecentMenuItems() const {
  RecentMenu menu;
  for (int i = 0; i < kMruMenuItems; ++i) {
    menu.items[static_cast<std::size_t>(i)] = Action(Nth(Command::RecentFile1, i));
  }
  menu.separator = Action(Command::RecentFilesSeparator);
  menu.flush = Action(Command::FlushRecentFiles);
  return menu;
}

void MainWindow::RebuildRecentMenu() { brevin::RebuildRecentMenu(recentFiles_, RecentMenuItems()); }

void MainWindow::AskToFlushRecentFiles() {
  const MessageAnswer answer = Prompt(ProductTitleText(), "Are you sure you want to flush the Files Used List ?",
                                      MessageButtons::YesNo, MessageIcon::Question);
  if (answer != MessageAnswer::Yes) return;
  brevin::FlushRecentFiles(store_, recentFiles_);
  RebuildRecentMenu();
}

}  // namespace brevin
