// Saving the listing: the Save As dialog's filters and proposal, the text as it
// goes to disk, and writing a file so that nothing is lost or half written.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

class QWidget;

namespace brevin {

// What a save dialog shows; the chooser answers with the chosen path, or an
// empty text on cancel.
struct SaveRequest {
  QString title;
  QString folder;       // initial folder; empty: not preset
  QString fileName;     // initial file name; empty: not preset
  QStringList filters;  // name filters in dialog order, e.g. "Listing File (*.lst) (*.lst)"
  int filterIndex = 0;  // 1-based entry of filters to select; 0: not preset
};

// The Save As dialog for a listing saved as saveFile (may be empty); the longer
// filter list when the listing was written without the image columns.
SaveRequest ListingSaveRequest(const QString& saveFile, bool bytecodeListing);

// The real save dialog for the request (a name typed without an extension gets
// the chosen filter's); empty on cancel.
QString ShowSaveDialog(QWidget* parent, const SaveRequest& request);

// The extension a name filter gives to a name typed without one: "lst" for
// "Listing File (*.lst) (*.lst)", empty for "All Files (*.*) (*)".
QString DefaultSuffixOf(const QString& filter);

// The Export PDF dialog: the save folder and the base name with ".pdf".
SaveRequest PdfSaveRequest(const QString& saveFile, const QString& lastFile);

// The bytes of a saved listing: the shown text with CR LF line ends, UTF-8.
QByteArray ListingFileBytes(const QString& shownText);

// Writes the bytes as the whole of path through the programs' one output
// writer (a regular file is replaced in one step and keeps its mode, a link
// is followed, a device is written as it is); the file image, when given, is
// never overwritten. Returns an empty text on success, else the reason as a
// sentence for a message box.
QString WriteOutputFile(const QString& path, const QByteArray& bytes, const QString& image = QString());
// Whether WriteOutputFile could write path, checked without writing anything:
// empty when it could, else the reason as WriteOutputFile gives it.
QString CheckOutputFile(const QString& path, const QString& image = QString());

// The writer's reason (see output_file.h) as a sentence for a message box that
// already says the file cannot be written: "It is a folder.", "Permission denied."
QString WriterReasonSentence(const std::string& problem);

// The warning shown when a file could not be written.
QString CannotWriteText(const QString& path, const QString& reason);

}  // namespace brevin
