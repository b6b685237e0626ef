// The main window's find dialog, Set Font and debug window: opening and closing
// them, F3, and handing each analysis's debug text to the debug window.
#include <QFontDialog>
#include <QPlainTextEdit>

#include "dialogs/debug_window.h"
#include "dialogs/find_dialog.h"
#include "window/main_window.h"
#include "window/shell_host.h"
#include "listing/text_area.h"
#include "listing/text_search.h"

namespace brevin {

namespace {

bool ShowFontDialog(QWidget* parent, const QString& title, QFont& font) {
  bool accepted = false;
  const QFont chosen = QFontDialog::getFont(&accepted, font, parent, title, QFontDialog::MonospacedFonts);
  if (accepted) font = chosen;
  return accepted;
}

}  // namespace

void MainWindow::ConnectTools() {
  ChooseFont = [this](const QString& title, QFont& font) { return ShowFontDialog(this, title, font); };
  connect(Item("mnuEdit_Find"), &QAction::triggered, this, [this] { OpenFindDialog(txtDisplay); });
  connect(Item("mnuEdit_FindNext"), &QAction::triggered, this, [this] { FindNextCommand(); });
  connect(Item("mnuOptions_SetFont"), &QAction::triggered, this, [this] { SetFont(); });
  // A selection made in the listing while the dialog is open proposes itself as the search text.
  connect(txtDisplay, &QPlainTextEdit::selectionChanged, this, [this] {
    if (findDialog_) findDialog_->FollowSelection(txtDisplay->textCursor().selectedText());
  });
}

void MainWindow::OpenFindDialog(QPlainTextEdit* target) {
  if (findDialog_) {
    findDialog_->Refocus(target);
    return;
  }
  findDialog_ = new FindDialog(*search_, FindHistory, store_, this);
  findDialog_->Open(target);
}

void MainWindow::FindNextCommand() {
  if (!FindText.isEmpty() && search_->SearchedOnce) {
    search_->FindNext(txtDisplay, FindText, FindMode, nullptr);
  } else {
    OpenFindDialog(txtDisplay);
  }
}

void MainWindow::SetFont() {
  QFont font = txtDisplay->font();
  if (!ChooseFont("Set Font", font)) return;
  ApplyListingFont(txtDisplay, font);
  if (debugWindow_) ApplyListingFont(debugWindow_->txtDisplay, font);
}

void MainWindow::ShowDebugOutput() {
  const std::string& text = host_->DebugText();
  if (!text.empty() && !debugWindow_) {
    debugWindow_ = new DebugWindow(store_, SaveFile, this);
    debugWindow_->txtDisplay->setFont(txtDisplay->font());
    connect(debugWindow_, &DebugWindow::findRequested, this, &MainWindow::OpenFindDialog);
    connect(debugWindow_, &DebugWindow::findNextRequested, this, [this](QPlainTextEdit* area) {
      if (FindText.isEmpty()) {
        OpenFindDialog(area);
      } else {
        search_->FindNext(area, FindText, FindMode, nullptr);
      }
    });
    connect(debugWindow_, &DebugWindow::printRequested, this, [this](QPlainTextEdit* area) {
      PrintDocument document;
      document.font = area->font();
      document.parts << TextLines(area->toPlainText());
      PrintDocumentNow(document);
    });
    connect(debugWindow_, &DebugWindow::printSetupRequested, this, [this] { PrinterSetup(); });
    debugWindow_->show();
  }
  if (!debugWindow_) return;
  debugWindow_->AppendTrace(text);
  host_->ClearDebugText();
  debugWindow_->EndOutput();
}

void MainWindow::CloseToolWindows() {
  if (debugWindow_) debugWindow_->close();
  if (findDialog_) findDialog_->close();
}

}  // namespace brevin
