#include "output/save_listing.h"

#include <QFile>
#include <QFileDialog>

#include "output_file.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

// Qt reads the patterns from the last brackets; the dialog shows the name only.
constexpr const char* kBytecodeFilter = "Bytecode File (*.bytecode) (*.bytecode)";
constexpr const char* kListingFilter = "Listing File (*.lst) (*.lst)";
constexpr const char* kTextFilter = "Text File (*.txt) (*.txt)";
constexpr const char* kAllFilter = "All Files (*.*) (*)";

}  // namespace

SaveRequest ListingSaveRequest(const QString& saveFile, bool bytecodeListing) {
  SaveRequest request;
  request.title = "Save Decompilation As ...";
  if (bytecodeListing) request.filters << kBytecodeFilter;
  request.filters << kListingFilter << kTextFilter << kAllFilter;
  if (saveFile.isEmpty()) return request;

  request.folder = FolderOf(saveFile);
  // The entry follows the last four characters; the bytecode list has one entry more in front.
  const QString tail = saveFile.right(4).toUpper();
  const int shift = bytecodeListing ? 1 : 0;
  request.fileName = BaseNameOf(saveFile);
  if (tail == "CODE") {
    request.filterIndex = 1;
  } else if (tail == ".LST") {
    request.filterIndex = 1 + shift;
  } else if (tail == ".TXT") {
    request.filterIndex = 2 + shift;
  } else {
    request.filterIndex = 3 + shift;
    request.fileName = FileNameOf(saveFile);
  }
  return request;
}

QString DefaultSuffixOf(const QString& filter) {
  const qsizetype open = filter.lastIndexOf('(');
  const qsizetype close = filter.lastIndexOf(')');
  if (open < 0 || close < open) return QString();
  const QString pattern = filter.mid(open + 1, close - open - 1).trimmed();
  if (!pattern.startsWith("*.") || pattern.contains(' ')) return QString();
  const QString suffix = pattern.mid(2);
  return suffix.contains('*') || suffix.contains('?') ? QString() : suffix;
}

SaveRequest PdfSaveRequest(const QString& saveFile, const QString& lastFile) {
  SaveRequest request;
  request.title = "Export PDF";
  request.filters << "PDF File (*.pdf) (*.pdf)";
  request.filterIndex = 1;
  const QString basis = saveFile.isEmpty() ? lastFile : saveFile;
  if (!basis.isEmpty()) {
    request.folder = FolderOf(basis);
    request.fileName = BaseNameOf(basis) + ".pdf";
  }
  return request;
}

QByteArray ListingFileBytes(const QString& shownText) {
  QString text = shownText;
  text.replace("\r\n", "\n");
  text.replace('\n', "\r\n");
  return text.toUtf8();
}

namespace {

std::vector<platform::FileIdentity> InputsOf(const QString& image) {
  std::vector<platform::FileIdentity> inputs;
  if (!image.isEmpty()) {
    if (auto id = platform::IdentityOf(QFile::encodeName(image).toStdString())) inputs.push_back(*id);
  }
  return inputs;
}

}  // namespace

QString WriterReasonSentence(const std::string& problem) {
  if (problem.empty()) return QString();
  QString reason = QString::fromLocal8Bit(problem);
  const QString prefix = "cannot be written: ";
  if (reason.startsWith(prefix)) reason.remove(0, prefix.size());
  if (reason.startsWith("is ")) reason = "it " + reason;  // "is a folder": "It is a folder."
  reason[0] = reason[0].toUpper();
  return reason + ".";
}

QString WriteOutputFile(const QString& path, const QByteArray& bytes, const QString& image) {
  return WriterReasonSentence(platform::WriteOutputFile(
      QFile::encodeName(path).toStdString(),
      std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), InputsOf(image)));
}

QString CheckOutputFile(const QString& path, const QString& image) {
  return WriterReasonSentence(platform::CheckOutputTarget(QFile::encodeName(path).toStdString(), InputsOf(image)));
}

QString CannotWriteText(const QString& path, const QString& reason) {
  return "Cannot write the file" "\r\n\r\n" + path + "\r\n\r\n" + reason;
}

QString ShowSaveDialog(QWidget* parent, const SaveRequest& request) {
  QFileDialog dialog(parent, request.title, request.folder);
  dialog.setObjectName("FileDialogue");
  dialog.setAccessibleName(request.title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilters(request.filters);
  if (request.filterIndex > 0 && request.filterIndex <= request.filters.size()) {
    dialog.selectNameFilter(request.filters[request.filterIndex - 1]);
  }
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  // A name typed without an extension gets the one of the chosen file type.
  dialog.setDefaultSuffix(DefaultSuffixOf(dialog.selectedNameFilter()));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog](const QString& filter) { dialog.setDefaultSuffix(DefaultSuffixOf(filter)); });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().front();
}

}  // namespace brevin
