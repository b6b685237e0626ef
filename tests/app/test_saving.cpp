// Save and Save As: the dialog's filters and proposal, byte equality with
// brevin-cli -o, silent overwrite, and failed writes that leave no file.
#include <QPlainTextEdit>
#include <QtTest>
#include <sstream>

#include "cli.h"
#include "save_listing.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The names in a folder, dot files included (a temporary file would be one).
QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Records the save requests and answers with the queued paths (empty: cancel).
struct RecordingChooser {
  QList<SaveRequest> asked;
  QStringList answers;
  MainWindow::SaveChooser Function() {
    return [this](const SaveRequest& r) {
      asked.append(r);
      return answers.isEmpty() ? QString() : answers.takeFirst();
    };
  }
};

}  // namespace

class SavingTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void filterAndNameFollowTheSaveFile_data() {
    QTest::addColumn<QString>("saveFile");
    QTest::addColumn<bool>("bytecode");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("name");
    QTest::newRow("bytecode list, .bytecode") << "/p/demo.bytecode" << true << 1 << "demo";
    QTest::newRow("bytecode list, .lst") << "/p/demo.lst" << true << 2 << "demo";
    QTest::newRow("bytecode list, .TXT") << "/p/demo.TXT" << true << 3 << "demo";
    QTest::newRow("bytecode list, .asm") << "/p/demo.asm" << true << 4 << "demo.asm";
    QTest::newRow("listing list, .bytecode") << "/p/demo.bytecode" << false << 1 << "demo";
    QTest::newRow("listing list, .Lst") << "/p/demo.Lst" << false << 1 << "demo";
    QTest::newRow("listing list, .txt") << "/p/demo.txt" << false << 2 << "demo";
    QTest::newRow("listing list, .asm") << "/p/demo.asm" << false << 3 << "demo.asm";
  }

  void filterAndNameFollowTheSaveFile() {
    QFETCH(QString, saveFile);
    QFETCH(bool, bytecode);
    QFETCH(int, entry);
    QFETCH(QString, name);
    const SaveRequest r = ListingSaveRequest(saveFile, bytecode);
    QCOMPARE(r.title, QString("Save Decompilation As ..."));
    QCOMPARE(r.filters.size(), bytecode ? 4 : 3);
    QCOMPARE(r.filters.front(), QString(bytecode ? "Bytecode File (*.bytecode) (*.bytecode)"
                                                 : "Listing File (*.lst) (*.lst)"));
    QCOMPARE(r.filters.back(), QString("All Files (*.*) (*)"));
    QCOMPARE(r.filterIndex, entry);
    QCOMPARE(r.fileName, name);
    QCOMPARE(r.folder, QString("/p"));
    // Names typed without an extension take the chosen type's.
    QStringList suffixes;
    for (const QString& filter : r.filters) suffixes << DefaultSuffixOf(filter);
    QCOMPARE(suffixes.back(), QString());
    QCOMPARE(suffixes[r.filters.size() - 3], QString("lst"));
  }

  void emptySaveFilePresetsNothing() {
    const SaveRequest r = ListingSaveRequest(QString(), false);
    QVERIFY(r.folder.isEmpty() && r.fileName.isEmpty());
    QCOMPARE(r.filterIndex, 0);
  }

  void savedBytesEqualTheCommandLineOutput() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    RecordingChooser chooser;
    w->ChooseSaveFile = chooser.Function();
    QTemporaryDir dir;
    const QString image = CopySample(dir, "led_chaser.eeprom", "led_chaser.eeprom");
    CopySample(dir, "led_chaser.spin", "led_chaser.spin");  // source lines in both listings
    w->Item("mnuView_ShowImage")->setChecked(false);
    w->Item("mnuView_FoldIndexes")->setChecked(true);
    w->Item("mnuView_SymbolTable")->setChecked(true);
    w->OpenFile(image);
    QVERIFY(w->BytecodeListing);

    // The first Save goes through the dialog, which proposes the image's .lst.
    const QString saved = dir.filePath("saved.lst");
    chooser.answers << saved;
    w->Item("mnuFile_Save")->trigger();
    QCOMPARE(chooser.asked.size(), 1);
    QCOMPARE(chooser.asked[0].folder, dir.path());
    QCOMPARE(chooser.asked[0].fileName, QString("led_chaser"));
    QCOMPARE(chooser.asked[0].filterIndex, 2);
    QCOMPARE(w->SaveFile, saved);

    const QString fromCli = dir.filePath("cli.lst");
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::Run({"--no-show-image", "--fold-indexes", "--symbol-table", "-o",
                                 QFile::encodeName(fromCli).toStdString(), QFile::encodeName(image).toStdString()},
                                out, err);
    QCOMPARE(status, cli::kExitOk);
    const QByteArray expected = ReadBytes(fromCli);
    QVERIFY(expected.contains("\r\n") && expected.contains("PUB"));
    QCOMPARE(ReadBytes(saved), expected);

    // Later saves overwrite without asking.
    QFile junk(saved);
    QVERIFY(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
    junk.write("junk");
    junk.close();
    w->Item("mnuFile_Save")->trigger();
    QCOMPARE(chooser.asked.size(), 1);
    QCOMPARE(ReadBytes(saved), expected);
    QVERIFY(prompt.asked.isEmpty());

    // Cancelling Save As changes nothing.
    w->Item("mnuFile_SaveAs")->trigger();
    QCOMPARE(chooser.asked.size(), 2);
    QCOMPARE(w->SaveFile, saved);
    QCOMPARE(Entries(dir.path()), QStringList({"cli.lst", "led_chaser.eeprom", "led_chaser.spin", "saved.lst"}));
  }

  void failedWriteIsReportedAndLeavesNoFile() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    RecordingChooser chooser;
    w->ChooseSaveFile = chooser.Function();
    QTemporaryDir dir;
    w->Item("mnuFile_InhibitWarnings")->setChecked(true);
    w->OpenFile(CopySample(dir, "led_chaser.eeprom", "a.eeprom"));

    // Under a plain file (no folder can be made there), and onto a folder.
    const QString underFile = dir.filePath("a.eeprom/listing.lst");
    const QString folder = dir.filePath("sub");
    QVERIFY(QDir().mkpath(folder));
    chooser.answers << underFile << folder;
    w->Item("mnuFile_SaveAs")->trigger();
    QCOMPARE(w->SaveFile, underFile);  // kept as chosen, so the next Save tries it again
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].icon, MessageIcon::Warning);
    QCOMPARE(prompt.asked[0].title, ProductTitleText());
    QVERIFY2(prompt.asked[0].text.startsWith("Cannot write the file\r\n\r\n" + underFile + "\r\n\r\n"),
             qPrintable(prompt.asked[0].text));
    QVERIFY(prompt.asked[0].text.size() > QString("Cannot write the file\r\n\r\n\r\n\r\n").size() + underFile.size());

    w->Item("mnuFile_SaveAs")->trigger();
    QCOMPARE(prompt.asked.size(), 2);
    QVERIFY(prompt.asked[1].text.endsWith("It is a folder."));
    QCOMPARE(Entries(dir.path()), QStringList({"a.eeprom", "sub"}));
    QVERIFY(Entries(folder).isEmpty());
  }

  void writeReplacesAnExistingFileWhole() {
    QTemporaryDir dir;
    const QString path = dir.filePath("x.lst");
    QVERIFY(WriteFileAtomically(path, QByteArray(5000, 'a')).isEmpty());
    QVERIFY(WriteFileAtomically(path, "b\r\n").isEmpty());
    QCOMPARE(ReadBytes(path), QByteArray("b\r\n"));
    QCOMPARE(ListingFileBytes("one\ntwo\n"), QByteArray("one\r\ntwo\r\n"));
    QCOMPARE(Entries(dir.path()), QStringList({"x.lst"}));
  }
};

int RunSavingTests(int argc, char** argv) {
  SavingTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "test_saving.moc"
