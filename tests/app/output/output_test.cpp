// Save, Save As, Print, Print With Source and Export PDF, through a recording
// save dialog and print service.
#include <QPlainTextEdit>
#include <QProcess>
#include <QtTest>
#include <sstream>

#include "cli.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

// A window with a listing of a copy of led_chaser, its save dialog answering
// from `answers` (empty: cancel) and its printer recording.
struct Output {
  ScriptedPrompt prompt;
  SettingsStore store{kSettingsAppName};
  std::unique_ptr<MainWindow> w = LoadWindow(store);
  QTemporaryDir dir;
  QString image = CopySample(dir, "led_chaser.eeprom", "led_chaser.eeprom");
  QList<SaveRequest> asked;
  QStringList answers;
  RecordingPrintService* printer = new RecordingPrintService;

  explicit Output(bool withSource = false) {
    if (withSource) CopySample(dir, "led_chaser.spin", "led_chaser.spin");
    w->Action(Command::InhibitWarnings)->setChecked(true);
    w->Document().SetPrintService(std::unique_ptr<PrintService>(printer));
    w->Document().SaveAsChooser() = [this](const SaveRequest& r) {
      asked.append(r);
      return answers.isEmpty() ? QString() : answers.takeFirst();
    };
  }
  void Open() {
    w->Document().OpenFile(image);
    prompt.asked.clear();
  }
};

}  // namespace

class OutputTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void saveAsFilterAndName_data() {
    QTest::addColumn<QString>("saveFile");
    QTest::addColumn<bool>("bytecode");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("name");
    QTest::newRow("bytecode, .lst") << "/p/d.lst" << true << 2 << "d";
    QTest::newRow("bytecode, .asm") << "/p/d.asm" << true << 4 << "d.asm";
    QTest::newRow("listing, .bytecode") << "/p/d.bytecode" << false << 1 << "d";
    QTest::newRow("listing, .TXT") << "/p/d.TXT" << false << 2 << "d";
    QTest::newRow("none yet") << "" << false << 0 << "";
  }
  void saveAsFilterAndName() {
    QFETCH(QString, saveFile);
    QFETCH(bool, bytecode);
    QFETCH(int, entry);
    QFETCH(QString, name);
    const SaveRequest r = ListingSaveRequest(saveFile, bytecode);
    QCOMPARE(r.filters.size(), bytecode ? 4 : 3);
    QCOMPARE(r.filterIndex, entry);
    QCOMPARE(r.fileName, name);
    QCOMPARE(r.folder, saveFile.isEmpty() ? QString() : QString("/p"));
    QCOMPARE(DefaultSuffixOf(r.filters[r.filters.size() - 3]), QString("lst"));
    QCOMPARE(DefaultSuffixOf(r.filters.back()), QString());  // All Files
  }

  void savedBytesEqualTheCommandLineOutput() {
    Output o(true);
    o.w->Action(Command::ShowImage)->setChecked(false);
    o.w->Action(Command::FoldIndexes)->setChecked(true);
    o.Open();
    const QString saved = o.dir.filePath("saved.lst");
    o.answers << saved;
    o.w->Action(Command::Save)->trigger();  // the first Save goes through the dialog
    QCOMPARE(o.asked.size(), 1);
    QCOMPARE(o.asked[0].folder, o.dir.path());
    QCOMPARE(o.asked[0].filterIndex, 2);  // "Listing File" in the bytecode list

    const QString fromCli = o.dir.filePath("cli.lst");
    std::ostringstream out, err;
    QCOMPARE(cli::Run({"--no-show-image", "--fold-indexes", "-o", QFile::encodeName(fromCli).toStdString(),
                       QFile::encodeName(o.image).toStdString()}, out, err), cli::kExitOk);
    const QByteArray expected = ReadBytes(fromCli);
    QVERIFY(expected.contains(";   dira[LED_HI..LED_LO]~~"));  // source lines in both
    QCOMPARE(ReadBytes(saved), expected);

    QFile(saved).resize(3);
    o.w->Action(Command::Save)->trigger();  // later saves overwrite without asking
    QCOMPARE(o.asked.size(), 1);
    QCOMPARE(ReadBytes(saved), expected);
    QVERIFY(o.prompt.asked.isEmpty());
  }

  void failedWritesAreReportedAndLeaveNoFile() {
    Output o;
    o.Open();
    const QString underFile = o.image + "/listing.lst";  // below a plain file: no folder there
    QVERIFY(QDir().mkdir(o.dir.filePath("x.pdf")));
    o.answers << underFile << o.dir.filePath("x.pdf") << underFile;
    o.w->Action(Command::SaveAs)->trigger();
    QCOMPARE(o.w->Document().SaveFile(), underFile);  // kept as chosen
    QCOMPARE(o.prompt.asked[0].icon, MessageIcon::Warning);
    const QString text = o.prompt.asked[0].text;
    QVERIFY2(text.startsWith("Cannot write the file\r\n\r\n" + underFile + "\r\n\r\n") && !text.endsWith("\n"),
             qPrintable(text));
    o.w->Action(Command::ExportPdf)->trigger();
    o.w->Action(Command::ExportPdf)->trigger();
    QCOMPARE(o.prompt.Count("Cannot write the file\r\n\r\n"), 3);
    QCOMPARE(Entries(o.dir.path()) + Entries(o.dir.filePath("x.pdf")), QStringList({"led_chaser.eeprom", "x.pdf"}));
  }

  void theImageIsNeverOverwrittenAndALinkIsFollowed() {
    Output o;
    o.Open();
    const QByteArray image = ReadBytes(o.image);
    o.answers << o.image << o.image;
    o.w->Action(Command::SaveAs)->trigger();
    o.w->Action(Command::ExportPdf)->trigger();
    QCOMPARE(o.prompt.Count("Cannot write the file\r\n\r\n" + o.image + "\r\n\r\nThe output would overwrite the image."),
             2);
    QCOMPARE(ReadBytes(o.image), image);

    const QString real = o.dir.filePath("real.lst"), link = o.dir.filePath("link.lst");
    QFile file(real);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(QFile::link(real, link));
    o.answers << link;
    o.w->Action(Command::SaveAs)->trigger();
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadBytes(real), ListingFileBytes(o.w->Listing()->toPlainText()));
    QCOMPARE(QFile::permissions(real), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
  }

  void printSendsTheWholeTextInTheListingFont() {
    Output o;
    o.Open();
    const QFont font("DejaVu Sans Mono", 11);
    o.w->Listing()->setFont(font);
    ToolbarButton(*o.w, "PRINT")->trigger();
    o.w->Action(Command::ShowSpinEffects)->trigger();  // a reference table prints too
    o.printer->error = 4;
    o.w->Action(Command::Print)->trigger();
    QCOMPARE(o.printer->printed.size(), 2);
    QCOMPARE(o.printer->printed[0].font, font);
    QCOMPARE(o.printer->printed[1].parts, QList<QStringList>({TextLines(o.w->Listing()->toPlainText())}));
    QCOMPARE(o.prompt.asked.size(), 1);
    QCOMPARE(o.prompt.asked[0].text, QString("Unable to print\r\n\r\nError : 4"));
    QCOMPARE(SystemPrintService([] { return QStringList(); }).Print(PrintDocument{}), static_cast<int>(kNoPrinter));
    QCOMPARE(UnableToPrintText(kNoPrinter),
             QString("Unable to print\r\n\r\nError : 1\r\n\r\nNo printer is installed. File > \"Export PDF ...\" "
                     "writes the listing to a PDF file instead."));
  }

  // The cases of line_breaks.txt, every character one unit wide.
  void longLinesBreakAtBlanks() {
    QFile cases(SamplePath("print/line_breaks.txt"));
    QVERIFY(cases.open(QIODevice::ReadOnly | QIODevice::Text));
    const auto widthOf = [](const QString& text) { return static_cast<qreal>(text.size()); };
    int count = 0;
    while (!cases.atEnd()) {
      const QString row = QString::fromUtf8(cases.readLine()).trimmed();
      if (row.isEmpty() || row.startsWith('#')) continue;
      QStringList fields = row.split('|');
      for (QString& field : fields) field = field.trimmed().replace('_', ' ');
      QVERIFY2(fields.size() >= 3, qPrintable(row));
      const QStringList got = BreakAtBlanks(fields[1], widthOf, fields[0].toDouble());
      QVERIFY2(got == fields.mid(2), qPrintable(row + "  ->  " + got.join(" | ").replace(' ', '_')));
      ++count;
    }
    QVERIFY(count >= 10);
    // Each part starts a page; a full page goes on to the next.
    const PrintDocument document{QFont(), {{"1", "2", "3", "4", "5"}, {"aaaa bbbb", "6"}}};
    QCOMPARE(LayOutPages(document, widthOf, 5, 2),
             QList<QStringList>({{"1", "2"}, {"3", "4"}, {"5"}, {"aaaa", "bbbb"}, {"6"}}));
  }

  void printWithSourcePutsTheSourceFirst() {
    Output o;
    o.Open();
    o.w->Document().SetSaveFile("/elsewhere/led_chaser.lst");  // the source is looked for beside the image
    const QString source = o.dir.filePath("led_chaser.spin");
    o.w->Action(Command::PrintWithSource)->trigger();
    QCOMPARE(o.prompt.Count("Cannot find source file\r\n\r\n" + source), 1);

    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("CON\r\n\t_clkmode = xtal1 \xe9\x01\r\n");
    file.close();
    o.w->Document().ToolRunningCheck() = [] { return true; };  // not asked: warnings are inhibited
    o.w->Action(Command::PrintWithSource)->trigger();
    QCOMPARE(o.printer->printed.size(), 1);
    const QStringList heading{"Source File " + source, QString(source.size() + 13, '='), "", "CON",
                              " _clkmode = xtal1   "};
    QCOMPARE(o.printer->printed[0].parts, QList<QStringList>({heading, TextLines(o.w->Listing()->toPlainText())}));

    o.w->Action(Command::InhibitWarnings)->setChecked(false);
    o.prompt.answers.enqueue(MessageAnswer::No);
    o.w->Action(Command::PrintWithSource)->trigger();
    QVERIFY(o.prompt.asked.back().text.startsWith("The Propller Tool is being used.\r\n\r\n"));
    QCOMPARE(o.printer->printed.size(), 1);
  }

  void printWithSourceReadsUtf16Sources() {
    // "CON", "  x = 1 ' 25°C", a line with a character beyond 16 bits, in UTF-16 LE with its mark.
    const QString text = QString("CON\r\n  x = 1 ' 25\u00B0C\r\n' ") + QString::fromUcs4(U"\U0001F600") + "|\r\n";
    QByteArray le("\xFF\xFE");
    for (const QChar c : text) le.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
    const QStringList expected{"Source File /s.spin", QString(20, '='), "", "CON", "  x = 1 ' 25 C", "'  |"};
    QCOMPARE(SourcePrintLines("/s.spin", le), expected);
    QCOMPARE(SourcePrintLines("/s.spin", "\xEF\xBB\xBF" + text.toUtf8()), expected);
    QString crOnly = text;  // as older editors save: a lone CR ends each line
    crOnly.replace("\r\n", "\r");
    QCOMPARE(SourcePrintLines("/s.spin", crOnly.toUtf8()), expected);
  }

  void exportedPdfHoldsTheListing() {
    Output o;
    o.Open();
    const QString pdf = o.dir.filePath("out.pdf");
    o.answers << pdf;
    o.w->Action(Command::ExportPdf)->trigger();
    QCOMPARE(o.asked[0].title, QString("Export PDF"));
    QCOMPARE(o.asked[0].filters, QStringList({"PDF File (*.pdf) (*.pdf)"}));
    QCOMPARE(o.asked[0].folder + '/' + o.asked[0].fileName, o.dir.filePath("led_chaser.pdf"));
    QProcess run;
    run.start("pdftotext", {"-layout", pdf, "-"});
    QVERIFY(run.waitForFinished(30000) && run.exitCode() == 0);
    const QString text = QString::fromUtf8(run.readAllStandardOutput());
    const qsizetype pages = text.count('\f');
    QVERIFY(pages >= 2);  // several pages, each numbered at its foot
    for (qsizetype page = 1; page <= pages; ++page) {
      QVERIFY2(text.section('\f', static_cast<int>(page - 1), static_cast<int>(page - 1)).trimmed().endsWith(
                   PageFooterText(static_cast<int>(page), static_cast<int>(pages))),
               qPrintable(QString("page %1").arg(page)));
    }
    // A line wider than the page goes on in whole words.
    QStringList words;
    for (int i = 0; i < 80; ++i) words << QString("word%1").arg(i);
    const QString longPdf = o.dir.filePath("long.pdf");
    QCOMPARE(WritePdf(longPdf, PrintDocument{o.w->Listing()->font(), {{words.join(' ')}}}), QString());
    QProcess runLong;
    runLong.start("pdftotext", {longPdf, "-"});
    QVERIFY(runLong.waitForFinished(30000) && runLong.exitCode() == 0);
    QStringList printedWords = QString::fromUtf8(runLong.readAllStandardOutput()).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    QCOMPARE(printedWords.takeLast(), QString("1"));  // "Page 1 of 1"
    QCOMPARE(printedWords.mid(0, words.size()), words);
    // Every listing line is in the PDF, in order.
    QStringList pdfLines = text.split('\n');
    qsizetype at = 0;
    for (const QString& line : TextLines(o.w->Listing()->toPlainText())) {
      if (line.simplified().isEmpty()) continue;
      while (at < pdfLines.size() && pdfLines[at].simplified() != line.simplified()) ++at;
      QVERIFY2(at < pdfLines.size(), qPrintable("missing from the PDF: " + line));
    }
  }
};

int RunOutputTests(int argc, char** argv) {
  OutputTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "output_test.moc"
