// The main window's Set Font and debug window: opening and closing it, and
// handing each analysis's debug text to it.
#include <QPlainTextEdit>

#include "dialogs/debug_window.h"
#include "document/document_controller.h"
#include "document/shell_host.h"
#include "listing/find_controller.h"
#include "listing/listing_view.h"
#include "listing/text_area.h"
#include "window/main_window.h"

namespace brevin {

DebugWindow* MainWindow::DebugInfo() const { return debugWindow_; }

void MainWindow::SetFont() {
  QFont font = listingView_->font();
  if (!chooseFont_("Set Font", font)) return;
  ApplyListingFont(listingView_, font);
  if (debugWindow_) ApplyListingFont(debugWindow_->textView, font);
}

void MainWindow::ShowDebugOutput() {
  ShellHost& host = document_->host();
  const std::string& text = host.DebugText();
  if (!text.empty() && !debugWindow_) {
    debugWindow_ = new DebugWindow(store_, document_->SaveFile(), this);
    debugWindow_->textView->setFont(listingView_->font());
    connect(debugWindow_, &DebugWindow::findRequested, find_, &FindController::OpenDialog);
    connect(debugWindow_, &DebugWindow::findNextRequested, find_, &FindController::FindNextIn);
    connect(debugWindow_, &DebugWindow::printRequested, this, [this](QPlainTextEdit* area) {
      PrintDocument document;
      document.font = area->font();
      document.parts << TextLines(area->toPlainText());
      document_->PrintDocumentNow(document);
    });
    connect(debugWindow_, &DebugWindow::printSetupRequested, document_, &DocumentController::PrinterSetup);
    debugWindow_->show();
  }
  if (!debugWindow_) return;
  debugWindow_->AppendTrace(text);
  host.ClearDebugText();
  debugWindow_->EndOutput();
}

void MainWindow::CloseToolWindows() {
  if (debugWindow_) debugWindow_->close();
  find_->CloseDialog();
}

}  // namespace brevin
