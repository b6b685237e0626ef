// The listing leaving the window: Save, Save As, Print, Print With Source,
// Printer Setup and Export PDF.
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>

#include "window/main_window.h"
#include "window/prompt.h"
#include "propeller_tool.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

void Warn(const QString& text) { Prompt(ProductTitleText(), text, MessageButtons::Ok, MessageIcon::Warning); }

}  // namespace

void MainWindow::ConnectOutputCommands() {
  ChooseSaveFile = [this](const SaveRequest& request) { return ShowSaveDialog(this, request); };
  ToolRunning = [] { return platform::PropellerToolRunning(); };
  printService_ = std::make_unique<SystemPrintService>();
  const auto on = [this](const char* name, void (MainWindow::*handler)()) {
    connect(Item(name), &QAction::triggered, this, handler);
  };
  on("mnuFile_Save", &MainWindow::SaveListing);
  on("mnuFile_SaveAs", &MainWindow::SaveListingAs);
  on("mnuFile_Print", &MainWindow::PrintListing);
  on("mnuFile_PrintWithSource", &MainWindow::PrintWithSource);
  on("mnuFile_ExportPdf", &MainWindow::ExportPdf);
  on("mnuFile_PrintSetup", &MainWindow::PrinterSetup);
}

void MainWindow::SetPrintService(std::unique_ptr<PrintService> service) { printService_ = std::move(service); }

void MainWindow::SaveListing() {
  if (!SaveFile.isEmpty() && QFile::exists(SaveFile)) {
    WriteListingTo(SaveFile);
  } else {
    SaveListingAs();
  }
}

void MainWindow::SaveListingAs() {
  const QString chosen = ChooseSaveFile(ListingSaveRequest(SaveFile, BytecodeListing));
  if (chosen.isEmpty()) return;
  SaveFile = chosen;
  WriteListingTo(chosen);
}

bool MainWindow::WriteListingTo(const QString& path) {
  const QString problem = WriteFileAtomically(path, ListingFileBytes(txtDisplay->toPlainText()));
  if (problem.isEmpty()) return true;
  Warn(CannotWriteText(path, problem));
  return false;
}

PrintDocument MainWindow::ListingDocument() const {
  PrintDocument document;
  document.font = txtDisplay->font();
  document.parts << TextLines(txtDisplay->toPlainText());
  return document;
}

void MainWindow::PrintDocumentNow(const PrintDocument& document) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const int error = printService_->Print(document);
  QApplication::restoreOverrideCursor();
  if (error != kPrintOk) Warn(UnableToPrintText(error));
}

void MainWindow::PrintListing() { PrintDocumentNow(ListingDocument()); }

void MainWindow::PrintWithSource() {
  // The source beside the image, not beside the saved listing.
  QString source = FolderOf(LastFile);
  if (!source.isEmpty()) source += '/';
  source += BaseNameOf(LastFile) + ".spin";

  if (!Item("mnuFile_InhibitWarnings")->isChecked() && ToolRunning()) {
    const QString question =
        "The Propller Tool is being used.\r\n\r\n"
        "Please ensure you have saved the source file within the Propeller Tool if it is being edited or the "
        "printed source code may not be the same as the Spin program being edited.\r\n\r\n"
        "Continue with printing ?";
    if (Prompt(ProductTitleText(), question, MessageButtons::YesNo, MessageIcon::Warning) != MessageAnswer::Yes) {
      return;
    }
  }
  if (!FileExists(source)) {
    Prompt(ProductTitleText(), "Cannot find source file\r\n\r\n" + source, MessageButtons::Ok,
           MessageIcon::Information);
    return;
  }
  QFile file(source);
  QByteArray bytes;
  QString problem;
  if (!file.open(QIODevice::ReadOnly)) {
    problem = file.errorString();
  } else {
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) problem = file.errorString();
  }
  if (!problem.isEmpty()) {
    Warn("Cannot read source file\r\n\r\n" + source + "\r\n\r\n" + problem);
    return;
  }
  PrintDocument document = ListingDocument();
  document.parts.prepend(SourcePrintLines(source, bytes));
  PrintDocumentNow(document);
}

void MainWindow::PrinterSetup() { printService_->Setup(this); }

void MainWindow::ExportPdf() {
  const QString chosen = ChooseSaveFile(PdfSaveRequest(SaveFile, LastFile));
  if (chosen.isEmpty()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const QString problem = WritePdf(chosen, ListingDocument(), printService_->Orientation());
  QApplication::restoreOverrideCursor();
  if (!problem.isEmpty()) Warn(CannotWriteText(chosen, problem));
}

}  // namespace brevin
