#include "output/printing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <algorithm>

#include "brevin/text.h"
#include "output/save_listing.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

int Abort(QPrinter& printer, QPainter& painter, int error) {
  printer.abort();
  painter.end();
  return error;
}

QPageSize LocalePageSize() {
  return QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize(QPageSize::Letter)
                                                                     : QPageSize(QPageSize::A4);
}

}  // namespace

QString UnableToPrintText(int error) {
  QString text = "Unable to print\r\n\r\nError : " + QString::number(error);
  // Without a printer the reader needs the way that works here.
  if (error == kNoPrinter) {
    text += "\r\n\r\nNo printer is installed. File > \"Export PDF ...\" writes the listing to a PDF file instead.";
  }
  return text;
}

QStringList BreakAtBlanks(const QString& line, const TextWidth& widthOf, qreal width) {
  QStringList pieces;
  QString rest = line;
  while (rest.size() > 1 && widthOf(rest) > width) {
    qsizetype fits = 1;  // the longest prefix that fits, found by halving
    qsizetype low = 1;
    qsizetype high = rest.size() - 1;
    while (low <= high) {
      const qsizetype mid = (low + high) / 2;
      if (widthOf(rest.left(mid)) <= width) {
        fits = mid;
        low = mid + 1;
      } else {
        high = mid - 1;
      }
    }
    // The last blank at or just after the part that fits, when text comes
    // before it (the line's own indentation is no place to break).
    qsizetype cut = fits;
    const qsizetype blank = rest.lastIndexOf(' ', fits);
    if (blank > 0 && !rest.left(blank).trimmed().isEmpty()) cut = blank;
    QString piece = rest.left(cut);
    if (cut == blank) {
      while (piece.endsWith(' ')) piece.chop(1);
    }
    pieces << piece;
    rest = rest.mid(cut);
    if (cut == blank) {
      qsizetype skip = 0;
      while (skip < rest.size() && rest[skip] == ' ') ++skip;
      rest = rest.mid(skip);
      if (rest.isEmpty()) return pieces;  // only blanks were left over
    }
  }
  pieces << rest;
  return pieces;
}

QString PageFooterText(int page, int pages) { return QString("Page %1 of %2").arg(page).arg(pages); }

QList<QStringList> LayOutPages(const PrintDocument& document, const TextWidth& widthOf, qreal width,
                               int linesPerPage) {
  linesPerPage = std::max(1, linesPerPage);
  QList<QStringList> pages;
  for (const QStringList& part : document.parts) {
    pages.append(QStringList());  // each part starts a page
    for (const QString& line : part) {
      for (const QString& piece : BreakAtBlanks(line, widthOf, width)) {
        if (pages.back().size() >= linesPerPage) pages.append(QStringList());
        pages.back() << piece;
      }
    }
  }
  return pages;
}

QStringList TextLines(const QString& text) {
  QString plain = text;
  plain.replace("\r\n", "\n");
  QStringList lines = plain.split('\n');
  // A text that ends its last line has no further line to print.
  if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

QStringList SourcePrintLines(const QString& sourcePath, const QByteArray& sourceBytes) {
  const QString heading = "Source File " + sourcePath;
  QStringList lines{heading, QString(heading.size() + 1, '='), QString()};
  // The source in whichever encoding it was saved (UTF-16 with a mark included).
  const std::string text =
      SpinSourceText(std::string_view(sourceBytes.constData(), static_cast<std::size_t>(sourceBytes.size())));
  // Lines end in CR LF, LF or a lone CR alike.
  QString source = QString::fromStdString(text);
  source.replace("\r\n", "\n");
  source.replace('\r', '\n');
  QStringList raw = source.split('\n');
  if (raw.size() > 1 && raw.back().isEmpty()) raw.removeLast();
  for (const QString& line : raw) {
    QString printable;
    printable.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
      const char16_t code = line[i].unicode();
      // A character beyond the first 65,536 is two units here, but one blank.
      if (QChar::isHighSurrogate(code) && i + 1 < line.size() && line[i + 1].isLowSurrogate()) ++i;
      printable += code >= 32 && code <= 126 ? QChar(code) : QChar(' ');
    }
    lines << printable;
  }
  return lines;
}

int PaintDocument(QPrinter& printer, const PrintDocument& document) {
  QPainter painter;
  if (!painter.begin(&printer)) return kPrinterWontStart;
  const QFont font(document.font, &printer);
  painter.setFont(font);
  const QFontMetricsF metrics(font, &printer);
  const qreal width = printer.width();
  const qreal height = printer.height();
  const qreal lineHeight = std::max<qreal>(metrics.lineSpacing(), 1);
  // The last two lines of each page hold its number, after a blank line.
  const int linesPerPage = std::max(1, static_cast<int>(height / lineHeight) - 2);
  const auto widthOf = [&metrics](const QString& text) { return metrics.horizontalAdvance(text); };
  const QList<QStringList> pages = LayOutPages(document, widthOf, width, linesPerPage);

  for (qsizetype page = 0; page < pages.size(); ++page) {
    if (page > 0 && !printer.newPage()) return Abort(printer, painter, kNewPageFailed);
    qreal y = 0;
    for (const QString& piece : pages[page]) {
      if (!piece.trimmed().isEmpty()) painter.drawText(QPointF(0, y + metrics.ascent()), piece);
      y += lineHeight;
    }
    const QString footer = PageFooterText(static_cast<int>(page + 1), static_cast<int>(pages.size()));
    const qreal footerX = std::max<qreal>(0, (width - metrics.horizontalAdvance(footer)) / 2);
    painter.drawText(QPointF(footerX, height - lineHeight + metrics.ascent()), footer);
  }
  if (printer.printerState() == QPrinter::Error) return Abort(printer, painter, kPrintFailed);
  if (!painter.end() || printer.printerState() == QPrinter::Error) return kPrintFailed;
  return kPrintOk;
}

// ---- The system's printers

SystemPrintService::SystemPrintService(std::function<QStringList()> printerNames)
    : printerNames_(printerNames ? std::move(printerNames) : [] { return QPrinterInfo::availablePrinterNames(); }) {}

SystemPrintService::~SystemPrintService() = default;

QPrinter& SystemPrintService::Printer() {
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setPageOrientation(QPageLayout::Portrait);
  }
  return *printer_;
}

int SystemPrintService::Print(const PrintDocument& document) {
  QPrinter& printer = Printer();
  const QStringList installed = printerNames_();
  // Printers but no default one: take the first rather than print nowhere.
  if (printer.outputFormat() == QPrinter::NativeFormat && printer.printerName().isEmpty() && !installed.isEmpty()) {
    printer.setPrinterName(installed.front());
  }
  // Without an installed printer Qt would quietly turn the job into a PDF with
  // no file name; a file chosen in Printer Setup is printed to, though.
  const bool toFile = printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty();
  if (!toFile && (installed.isEmpty() || printer.printerName().isEmpty() ||
                  printer.outputFormat() != QPrinter::NativeFormat)) {
    return kNoPrinter;
  }
  printer.setDocName(ProductTitleText());
  return PaintDocument(printer, document);
}

bool SystemPrintService::Setup(QWidget* parent) {
  QPrinter& printer = Printer();
  QPrintDialog dialog(&printer, parent);
  dialog.setObjectName("PrinterSetupDialog");
  dialog.setAccessibleName("Printer Setup");
  dialog.setWindowTitle("Printer Setup");
  dialog.setOptions(QAbstractPrintDialog::PrintToFile);
  if (dialog.exec() != QDialog::Accepted) return false;
  printer.setPageOrientation(printer.pageLayout().orientation() == QPageLayout::Landscape ? QPageLayout::Landscape
                                                                                         : QPageLayout::Portrait);
  return true;
}

QPageLayout::Orientation SystemPrintService::Orientation() const {
  return printer_ ? printer_->pageLayout().orientation() : QPageLayout::Portrait;
}

// ---- PDF

QString WritePdf(const QString& path, const PrintDocument& document, QPageLayout::Orientation orientation,
                 const QString& image) {
  const QFileInfo target(path);
  if (target.isDir()) return "It is a folder.";
  // Drawn in the temporary folder; the bytes then go where the listing would.
  QTemporaryFile temp(QDir::tempPath() + "/brevin-XXXXXX.pdf");
  if (!temp.open()) return temp.errorString();
  temp.close();

  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(temp.fileName());
  printer.setPageSize(LocalePageSize());
  printer.setPageOrientation(orientation);
  printer.setCreator(ProductTitleText());
  printer.setDocName(target.completeBaseName());
  if (const int error = PaintDocument(printer, document); error != kPrintOk) {
    return "The PDF could not be written (error " + QString::number(error) + ").";
  }
  if (!temp.open()) return temp.errorString();
  const QByteArray bytes = temp.readAll();
  return WriteOutputFile(path, bytes, image);
}

}  // namespace brevin
