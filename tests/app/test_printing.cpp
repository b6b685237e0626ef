// Print, Print With Source and Export PDF through a recording print service,
// the no-printer message of the system service, and the PDF's text.
#include <QPlainTextEdit>
#include <QProcess>
#include <QtTest>

#include "printing.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

// Keeps what would have gone to the printer and answers with a set error.
class RecordingPrintService : public PrintService {
 public:
  int Print(const PrintDocument& document) override {
    printed.append(document);
    return error;
  }
  bool Setup(QWidget*) override { return true; }
  QPageLayout::Orientation Orientation() const override { return QPageLayout::Portrait; }

  QList<PrintDocument> printed;
  int error = kPrintOk;
};

struct PrintingWindow {
  ScriptedPrompt prompt;
  SettingsStore store{kSettingsAppName};
  std::unique_ptr<MainWindow> window = LoadWindow(store);
  RecordingPrintService* printer = nullptr;

  PrintingWindow() {
    auto service = std::make_unique<RecordingPrintService>();
    printer = service.get();
    window->SetPrintService(std::move(service));
    window->Item("mnuFile_InhibitWarnings")->setChecked(true);
    prompt.asked.clear();  // the upgrade notice of a fresh store
  }
};

QString PdfText(const QString& pdf) {
  QProcess run;
  run.start("pdftotext", {"-layout", pdf, "-"});
  if (!run.waitForFinished(30000) || run.exitCode() != 0) return QString();
  return QString::fromUtf8(run.readAllStandardOutput());
}

}  // namespace

class PrintingTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void sourceLinesHaveHeadingUnderlineAndPrintableText() {
    const QStringList lines = SourcePrintLines("/p/demo.spin", QByteArray("PUB main\r\n\tx := 1\xe9;\x01\n\nlast"));
    QCOMPARE(lines, QStringList({"Source File /p/demo.spin", QString(12 + 13, '='), "", "PUB main", " x := 1 ; ", "",
                                 "last"}));
    QCOMPARE(lines[1].size(), QString("/p/demo.spin").size() + 13);
    QCOMPARE(TextLines("a\nb\n"), QStringList({"a", "b"}));
  }

  void printSendsTheWholeTextInTheListingFont() {
    PrintingWindow p;
    MainWindow& w = *p.window;
    w.OpenFile(SamplePath("led_chaser.eeprom"));
    QFont font = w.txtDisplay->font();
    font.setBold(true);
    w.txtDisplay->setFont(font);
    w.ToolbarButton("PRINT")->trigger();
    QCOMPARE(p.printer->printed.size(), 1);
    const PrintDocument& doc = p.printer->printed[0];
    QCOMPARE(doc.font, font);
    QCOMPARE(doc.parts.size(), 1);
    QCOMPARE(doc.parts[0].join('\n') + '\n', w.txtDisplay->toPlainText());
    QVERIFY(p.prompt.asked.isEmpty());

    // A reference table prints too.
    w.Item("mnuHelp_ShowSpinEffects")->trigger();
    w.Item("mnuFile_Print")->trigger();
    QCOMPARE(p.printer->printed.size(), 2);
    QVERIFY(w.Item("mnuFile_ExportPdf")->isEnabled() && !w.Item("mnuFile_PrintWithSource")->isEnabled());

    p.printer->error = 4;
    w.Item("mnuFile_Print")->trigger();
    QCOMPARE(p.prompt.asked.size(), 1);
    QCOMPARE(p.prompt.asked[0].text, QString("Unable to print\r\n\r\nError : 4"));
    QCOMPARE(p.prompt.asked[0].icon, MessageIcon::Warning);
  }

  void printWithSourcePutsTheSourceFirst() {
    PrintingWindow p;
    MainWindow& w = *p.window;
    QTemporaryDir dir;
    const QString image = CopySample(dir, "led_chaser.eeprom", "demo.eeprom");
    const QString source = dir.filePath("demo.spin");
    w.OpenFile(image);
    w.SaveFile = "/elsewhere/demo.lst";  // the source is looked for beside the image, not here

    w.Item("mnuFile_PrintWithSource")->trigger();
    QCOMPARE(p.prompt.Count("Cannot find source file\r\n\r\n" + source), 1);
    QVERIFY(p.printer->printed.isEmpty());

    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("CON\r\n\t_clkmode = xtal1\r\n");
    file.close();
    w.ToolRunning = [] { return true; };  // asks only while warnings are not inhibited
    w.Item("mnuFile_PrintWithSource")->trigger();
    QCOMPARE(p.printer->printed.size(), 1);
    const PrintDocument& doc = p.printer->printed[0];
    QCOMPARE(doc.parts.size(), 2);
    QCOMPARE(doc.parts[0], QStringList({"Source File " + source, QString(source.size() + 13, '='), "", "CON",
                                        " _clkmode = xtal1"}));
    QCOMPARE(doc.parts[1], TextLines(w.txtDisplay->toPlainText()));

    w.Item("mnuFile_InhibitWarnings")->setChecked(false);
    p.prompt.answers.enqueue(MessageAnswer::No);
    w.Item("mnuFile_PrintWithSource")->trigger();
    QCOMPARE(p.prompt.Count("The Propller Tool is being used.\r\n\r\n"), 1);
    QVERIFY(p.prompt.asked.back().text.endsWith("Continue with printing ?"));
    QCOMPARE(p.printer->printed.size(), 1);

    // A folder in the source's place is no source file.
    w.Item("mnuFile_InhibitWarnings")->setChecked(true);
    QVERIFY(QFile::remove(source));
    QVERIFY(QDir().mkdir(source));
    w.Item("mnuFile_PrintWithSource")->trigger();
    QCOMPARE(p.prompt.Count("Cannot find source file\r\n\r\n" + source), 2);
    QCOMPARE(p.printer->printed.size(), 1);
  }

  void noPrinterIsSaidSo() {
    SystemPrintService none([] { return QStringList(); });
    PrintDocument doc;
    doc.parts << QStringList{"text"};
    const int error = none.Print(doc);
    QCOMPARE(error, static_cast<int>(kNoPrinter));
    QCOMPARE(UnableToPrintText(error), QString("Unable to print\r\n\r\nError : 1 (no printer is installed)"));
  }

  void exportedPdfHoldsTheListing() {
    PrintingWindow p;
    MainWindow& w = *p.window;
    QTemporaryDir dir;
    const QString image = CopySample(dir, "led_chaser.eeprom", "demo.eeprom");
    w.OpenFile(image);
    QList<SaveRequest> asked;
    const QString pdf = dir.filePath("out.pdf");
    w.ChooseSaveFile = [&](const SaveRequest& r) {
      asked.append(r);
      return pdf;
    };
    w.Item("mnuFile_ExportPdf")->trigger();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].title, QString("Export PDF"));
    QCOMPARE(asked[0].filters, QStringList({"PDF File (*.pdf) (*.pdf)"}));
    QCOMPARE(asked[0].folder, dir.path());
    QCOMPARE(asked[0].fileName, QString("demo.pdf"));
    QVERIFY(p.prompt.asked.isEmpty());

    const QString text = PdfText(pdf);
    QVERIFY2(!text.isEmpty(), "pdftotext read nothing");
    // Every non-blank listing line is in the PDF, in order, across the pages.
    const QStringList lines = TextLines(w.txtDisplay->toPlainText());
    QVERIFY(lines.size() > 100);
    QStringList pdfLines = text.split('\n');
    for (QString& l : pdfLines) l = l.simplified();
    qsizetype at = 0;
    for (const QString& line : lines) {
      const QString wanted = line.simplified();
      if (wanted.isEmpty()) continue;
      while (at < pdfLines.size() && pdfLines[at] != wanted) ++at;
      QVERIFY2(at < pdfLines.size(), qPrintable("missing from the PDF: " + line));
    }
    QVERIFY(text.count('\f') >= 2);  // several pages

    // A path that cannot be written: a warning naming it, and no file left.
    const QString bad = dir.filePath("demo.eeprom/out.pdf");
    w.ChooseSaveFile = [&](const SaveRequest&) { return bad; };
    w.Item("mnuFile_ExportPdf")->trigger();
    QCOMPARE(p.prompt.Count("Cannot write the file\r\n\r\n" + bad + "\r\n\r\n"), 1);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList({"demo.eeprom", "out.pdf"}));
  }
};

int RunPrintingTests(int argc, char** argv) {
  PrintingTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "test_printing.moc"
