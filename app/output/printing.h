// Printing and PDF export of the listing: the text as it goes on paper, the
// page layout, and the printer behind a replaceable service so tests print
// without a printer.
#pragma once

#include <QFont>
#include <QList>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QPrinter;
class QWidget;

namespace brevin {

// Text for the printer: the font and the parts, each part starting on a new page.
struct PrintDocument {
  QFont font;
  QList<QStringList> parts;
};

// Error numbers shown in the "Unable to print" box.
enum PrintError : int {
  kPrintOk = 0,
  kNoPrinter = 1,         // no printer is installed and none was chosen
  kPrinterWontStart = 2,  // the printer (or the PDF file) could not be opened
  kNewPageFailed = 3,     // the printer refused a new page
  kPrintFailed = 4,       // the printer reported an error while printing or at the end
};

// "Unable to print" + CR LF CR LF + "Error : n"; without a printer, also the
// reason and the way out (File > "Export PDF ...").
QString UnableToPrintText(int error);

// The lines of a text shown in the listing area.
QStringList TextLines(const QString& text);

// The source part of Print With Source: "Source File " + path, a line of "="
// one longer than that heading, an empty line, then the source lines with every
// character outside 32..126 (tabs included) turned into a space.
QStringList SourcePrintLines(const QString& sourcePath, const QByteArray& sourceBytes);

// The width a text takes on the page.
using TextWidth = std::function<qreal(const QString&)>;

// A line too wide for the page in pieces that fit: each broken after its last
// blank that fits (the blanks at the break go), or at the edge when a piece
// has no blank; every piece has at least one character.
QStringList BreakAtBlanks(const QString& line, const TextWidth& widthOf, qreal width);

// The document's lines on pages of linesPerPage lines: long lines broken at
// blanks, each part starting a new page.
QList<QStringList> LayOutPages(const PrintDocument& document, const TextWidth& widthOf, qreal width,
                               int linesPerPage);

// The number at the foot of each page: "Page 2 of 7".
QString PageFooterText(int page, int pages);

// Puts the document on the printer's pages in its font: a line per text line,
// long lines broken at blanks, a new page when one is full, and the page's
// number at its foot. Returns kPrintOk or an error number; on error the job is
// aborted.
int PaintDocument(QPrinter& printer, const PrintDocument& document);

// Where printing goes. The window holds one for the whole run, so the printer
// and orientation chosen in Printer Setup stay until the program ends.
class PrintService {
 public:
  virtual ~PrintService() = default;
  // Prints the document and ends the job; kPrintOk or an error number.
  virtual int Print(const PrintDocument& document) = 0;
  // Printer Setup: false when cancelled.
  virtual bool Setup(QWidget* parent) = 0;
  // The orientation chosen in Printer Setup (portrait until then).
  virtual QPageLayout::Orientation Orientation() const = 0;
};

// The system's printers through Qt PrintSupport.
class SystemPrintService : public PrintService {
 public:
  // printerNames lists the installed printers; by default the system's list.
  explicit SystemPrintService(std::function<QStringList()> printerNames = {});
  ~SystemPrintService() override;

  int Print(const PrintDocument& document) override;
  bool Setup(QWidget* parent) override;
  QPageLayout::Orientation Orientation() const override;

 private:
  QPrinter& Printer();

  std::function<QStringList()> printerNames_;
  std::unique_ptr<QPrinter> printer_;
};

// Writes the document as a PDF at path (A4, or Letter where the locale measures
// in inches): drawn into a temporary file, then written through the one output
// writer (see WriteOutputFile), never over image. Returns an empty text on
// success, else the reason.
QString WritePdf(const QString& path, const PrintDocument& document,
                 QPageLayout::Orientation orientation = QPageLayout::Portrait, const QString& image = QString());

}  // namespace brevin
