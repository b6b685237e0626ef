// Auto-Reload: the file test of the watch and the window's tick, driven directly.
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>

#include "file_watch.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Marks the listing area, so a tick that reloads is seen by the mark's absence.
constexpr const char* kMark = "(shown before the tick)";

bool Reloaded(const MainWindow& w) { return w.txtDisplay->toPlainText() != kMark; }

}  // namespace

class AutoReloadTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void watchSeesWritesReplacementsAndDeletion() {
    QTemporaryDir dir;
    const QString path = CopySample(dir, "led_chaser.eeprom", "w.eeprom");
    FileWatch watch;
    QCOMPARE(watch.Check(path), FileWatch::Change::None);  // first sight is the baseline
    QCOMPARE(watch.Check(path), FileWatch::Change::None);

    // Same bytes, new modification time.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(watch.Check(path), FileWatch::Change::Written);
    QCOMPARE(watch.Check(path), FileWatch::Change::Written);  // until the next load arms it
    watch.Arm(path);
    QCOMPARE(watch.Check(path), FileWatch::Change::None);

    // Replaced by a file of the same size and time: only the inode tells.
    const QDateTime time = QFileInfo(path).lastModified();
    const QString other = CopySample(dir, "led_chaser.eeprom", "other.eeprom");
    QFile otherFile(other);
    QVERIFY(otherFile.open(QIODevice::ReadWrite));
    QVERIFY(otherFile.setFileTime(time, QFileDevice::FileModificationTime));
    otherFile.close();
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::rename(other, path));
    QCOMPARE(watch.Check(path), FileWatch::Change::Written);

    watch.Arm(path);
    QVERIFY(QFile::remove(path));
    QCOMPARE(watch.Check(path), FileWatch::Change::Missing);

    // A file that was missing when a load armed the watch and then appeared was written.
    watch.Arm(path);
    CopySample(dir, "led_chaser.eeprom", "w.eeprom");
    QCOMPARE(watch.Check(path), FileWatch::Change::Written);
  }

  void oneWriteGivesOneReload() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    w->Item("mnuFile_InhibitWarnings")->setChecked(true);  // no source beside the copy
    QTemporaryDir dir;
    const QString path = CopySample(dir, "led_chaser.eeprom", "r.eeprom");
    w->Item("mnuFile_AutoReload")->trigger();
    QVERIFY(!w->ReloadTimer->isActive());  // no image yet: the watch stops at once
    w->Item("mnuFile_AutoReload")->setChecked(true);
    w->OpenFile(path);
    QVERIFY(w->ReloadTimer->isActive());
    QCOMPARE(w->ReloadTimer->interval(), 1000);
    QVERIFY(!w->txtDisplay->toPlainText().contains("Auto-Reloaded at"));

    w->txtDisplay->setPlainText(kMark);
    w->ReloadTimer_Timer();
    QVERIFY(!Reloaded(*w));

    WriteBytes(path, ReadBytes(SamplePath("led_chaser.binary")));
    w->ReloadTimer_Timer();
    QVERIFY(Reloaded(*w));
    const QString listing = w->txtDisplay->toPlainText();
    QVERIFY(QRegularExpression("Auto-Reloaded at \\d\\d:\\d\\d:\\d\\d").match(listing).hasMatch());
    QVERIFY(w->ReloadTimer->isActive());
    QCOMPARE(w->LastFile, path);
    QCOMPARE(w->SaveFile, dir.path() + "/r.lst");

    w->txtDisplay->setPlainText(kMark);
    w->ReloadTimer_Timer();
    w->ReloadTimer_Timer();
    QVERIFY(!Reloaded(*w));
    QVERIFY(prompt.asked.isEmpty());
  }

  void refusedRewriteWaitsForTheNextWrite() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    w->Item("mnuFile_AutoReload")->setChecked(true);
    QTemporaryDir dir;
    const QString path = CopySample(dir, "led_chaser.eeprom", "h.eeprom");
    w->Item("mnuView_IncludeSourceCode")->setChecked(false);
    w->OpenFile(path);

    // Caught half-written: the checksum is wrong and the question is answered No.
    QByteArray half = ReadBytes(SamplePath("led_chaser.eeprom"));
    half[5] = static_cast<char>(half[5] + 1);
    WriteBytes(path, half);
    prompt.answers.enqueue(MessageAnswer::No);
    w->txtDisplay->setPlainText(kMark);
    w->ReloadTimer_Timer();
    QCOMPARE(prompt.Count(path + "\r\n\r\nThe file checksum is not as expected."), 1);
    QVERIFY(!Reloaded(*w));
    QVERIFY(w->ReloadTimer->isActive());
    w->ReloadTimer_Timer();
    w->ReloadTimer_Timer();
    QCOMPARE(prompt.asked.size(), 1);

    // The write completes: one reload.
    WriteBytes(path, ReadBytes(SamplePath("led_chaser.eeprom")));
    w->ReloadTimer_Timer();
    QVERIFY(Reloaded(*w));
    QCOMPARE(prompt.asked.size(), 1);
  }

  void deletedFileStopsTheWatchSilently() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    w->Item("mnuFile_AutoReload")->setChecked(true);
    w->Item("mnuFile_InhibitWarnings")->setChecked(true);
    QTemporaryDir dir;
    const QString path = CopySample(dir, "led_chaser.eeprom", "d.eeprom");
    w->OpenFile(path);
    QVERIFY(QFile::remove(path));
    w->ReloadTimer_Timer();
    QVERIFY(!w->ReloadTimer->isActive());
    QVERIFY(prompt.asked.isEmpty());
    QVERIFY(!w->txtDisplay->toPlainText().isEmpty());  // the listing stays

    // Recreated: nothing watches it until it is opened or refreshed again.
    CopySample(dir, "led_chaser.eeprom", "d.eeprom");
    QVERIFY(!w->ReloadTimer->isActive());
    w->Refresh();
    QVERIFY(w->ReloadTimer->isActive());
  }

  void switchingOnReloadsOnlyWhatWasWrittenSinceTheLoad() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    w->Item("mnuFile_InhibitWarnings")->setChecked(true);
    QTemporaryDir dir;
    const QString path = CopySample(dir, "led_chaser.eeprom", "s.eeprom");
    w->OpenFile(path);  // loaded with Auto-Reload off
    QVERIFY(!w->ReloadTimer->isActive());

    w->txtDisplay->setPlainText(kMark);
    w->Item("mnuFile_AutoReload")->trigger();
    QVERIFY(w->ReloadTimer->isActive());
    QVERIFY(!Reloaded(*w));
    w->Item("mnuFile_AutoReload")->trigger();
    QVERIFY(!w->ReloadTimer->isActive());

    WriteBytes(path, ReadBytes(SamplePath("led_chaser.binary")));
    w->ReloadTimer_Timer();  // a tick left over after switching off stops the timer
    QVERIFY(!Reloaded(*w));
    w->Item("mnuFile_AutoReload")->trigger();
    QVERIFY(Reloaded(*w));  // written while off: reloaded at once
    QVERIFY(w->txtDisplay->toPlainText().contains("Auto-Reloaded at "));
  }

  void crashedStartWatchesWithoutReloading() {
    ScriptedPrompt prompt;
    QTemporaryDir dir;
    const QString path = CopySample(dir, "led_chaser.eeprom", "c.eeprom");
    SettingsStore store(kSettingsAppName);
    store.WriteText("Mru", "LastFile", path);
    store.WriteBool("Settings", "AutoReload", true);
    store.WriteBool("Settings", "InhibitWarnings", true);
    store.WriteBool("Setup", "Crashed", true);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    QVERIFY(w->ReloadTimer->isActive());
    // The image that may have crashed the last run is not loaded by the first tick...
    w->ReloadTimer_Timer();
    QVERIFY(w->txtDisplay->toPlainText().isEmpty());
    // ...only when it is written again.
    WriteBytes(path, ReadBytes(SamplePath("led_chaser.binary")));
    w->ReloadTimer_Timer();
    QVERIFY(w->txtDisplay->toPlainText().contains("Auto-Reloaded at "));
  }
};

int RunAutoReloadTests(int argc, char** argv) {
  AutoReloadTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "test_auto_reload.moc"
