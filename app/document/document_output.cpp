// The listing leaving the window: Save, Save As, Print, Print With Source,
// Printer Setup and Export PDF.
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>

#include "document/document_controller.h"
#include "listing/listing_view.h"
#include "window/prompt.h"
#include "propeller_tool.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

void Warn(const QString& text) { Prompt(ProductTitleText(), text, MessageButtons::Ok, MessageIcon::Warning); }

}  // namespace

void DocumentController::SetPrintService(std::unique_ptr<PrintService> service) { printService_ = std::move(service); }

void DocumentController::SaveListing() {
  if (!saveFile_.isEmpty() && QFile::exists(saveFile_)) {
    WriteListingTo(saveFile_);
  } else {
    SaveListingAs();
  }
}

void DocumentController::SaveListingAs() {
  const QString chosen = chooseSaveFile_(ListingSaveRequest(saveFile_, bytecodeListing_));
  if (chosen.isEmpty()) return;
  saveFile_ = chosen;
  WriteListingTo(chosen);
}

bool DocumentController::WriteListingTo(const QString& path) {
  const QString problem = WriteOutputFile(path, ListingFileBytes(view_.toPlainText()), lastFile_);
  if (problem.isEmpty()) return true;
  Warn(CannotWriteText(path, problem));
  return false;
}

PrintDocument DocumentController::ListingDocument() const {
  PrintDocument document;
  document.font = view_.font();
  document.parts << TextLines(view_.toPlainText());
  return document;
}

void DocumentController::PrintDocumentNow(const PrintDocument& document) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const int error = printService_->Print(document);
  QApplication::restoreOverrideCursor();
  if (error != kPrintOk) Warn(UnableToPrintText(error));
}

void DocumentController::PrintListing() { PrintDocumentNow(ListingDocument()); }

void DocumentController::PrintWithSource() {
  // The source beside the image, not beside the saved listing.
  QString source = FolderOf(lastFile_);
  if (!source.isEmpty()) source += '/';
  source += BaseNameOf(lastFile_) + ".spin";

  if (!hooks_.options().InhibitWarnings && toolRunning_()) {
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

void DocumentController::PrinterSetup() { printService_->Setup(dialogParent_); }

void DocumentController::ExportPdf() {
  const QString chosen = chooseSaveFile_(PdfSaveRequest(saveFile_, lastFile_));
  if (chosen.isEmpty()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const QString problem = WritePdf(chosen, ListingDocument(), printService_->Orientation(), lastFile_);
  QApplication::restoreOverrideCursor();
  if (!problem.isEmpty()) Warn(CannotWriteText(chosen, problem));
}

}  // namespace brevin
