// Auto-Reload: the watch's file test and the window's tick, driven directly.
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>

#include "document/file_watch.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

void Rewrite(const QString& path, const QString& sample, int patchChecksum = 0) {
  QFile in(SamplePath(sample));
  QFile out(path);
  QVERIFY(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QByteArray bytes = in.readAll();
  bytes[5] = static_cast<char>(bytes[5] + patchChecksum);
  out.write(bytes);
}

// The ticks that see a write and then find the file unchanged long enough.
void TicksUntilSettled(MainWindow& w) {
  for (int i = 0; i <= FileWatch::kSteadyChecks; ++i) w.Document().CheckForReload();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile out(path);
  QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
  out.write(bytes);
}

// A listing area still showing this was not reloaded by the tick.
constexpr const char* kMark = "(shown before the tick)";
bool Reloaded(const MainWindow& w) { return w.Listing()->toPlainText() != kMark; }

struct Watched {
  ScriptedPrompt prompt;
  SettingsStore store{kSettingsAppName};
  std::unique_ptr<MainWindow> w = LoadWindow(store);
  QTemporaryDir dir;
  QString path = CopySample(dir, "led_chaser.eeprom", "r.eeprom");
  Watched(bool autoReload) {
    w->Action(Command::InhibitWarnings)->setChecked(true);
    w->Action(Command::AutoReload)->setChecked(autoReload);
    w->Document().OpenFile(path);
    w->Listing()->setPlainText(kMark);
    prompt.asked.clear();
  }
};

}  // namespace

class AutoReloadTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void replacedFileOfTheSameSizeAndTimeIsSeen() {
    QTemporaryDir dir;
    const QString path = CopySample(dir, "led_chaser.eeprom", "w.eeprom");
    const QString other = CopySample(dir, "led_chaser.eeprom", "other.eeprom");
    const QDateTime time = QDateTime::currentDateTime().addSecs(-60);
    for (const QString& name : {path, other}) {
      QFile file(name);
      QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime));
    }
    FileWatch watch;
    QCOMPARE(watch.Check(path), FileWatch::Change::None);  // first sight is the baseline
    QVERIFY(QFile::remove(path) && QFile::rename(other, path));
    QCOMPARE(watch.Check(path), FileWatch::Change::Written);  // only the inode tells
  }

  void oneWriteGivesOneReloadAndDeletionStopsTheWatch() {
    Watched s(true);
    QVERIFY(s.w->Document().ReloadTimer().isActive());
    QCOMPARE(s.w->Document().ReloadTimer().interval(), 1000);
    s.w->Document().CheckForReload();
    QVERIFY(!Reloaded(*s.w));

    Rewrite(s.path, "led_chaser.binary");
    TicksUntilSettled(*s.w);
    QVERIFY(QRegularExpression("\nAuto-Reloaded at \\d\\d:\\d\\d:\\d\\d\n").match(s.w->Listing()->toPlainText()).hasMatch());
    QCOMPARE(s.w->Document().SaveFile(), s.dir.path() + "/r.lst");
    s.w->Listing()->setPlainText(kMark);
    s.w->Document().CheckForReload();
    QVERIFY(!Reloaded(*s.w));

    // A vanished file stops the watch without a word; recreating it does not restart it.
    QVERIFY(QFile::remove(s.path));
    s.w->Document().CheckForReload();
    QVERIFY(!s.w->Document().ReloadTimer().isActive());
    CopySample(s.dir, "led_chaser.eeprom", "r.eeprom");
    QVERIFY(!s.w->Document().ReloadTimer().isActive() && s.prompt.asked.isEmpty());
    s.w->Document().Refresh();
    QVERIFY(s.w->Document().ReloadTimer().isActive());
  }

  void refusedRewriteWaitsForTheNextWrite() {
    Watched s(true);
    Rewrite(s.path, "led_chaser.eeprom", 1);  // caught half-written: wrong checksum, same size
    s.prompt.answers.enqueue(MessageAnswer::No);
    s.w->Action(Command::InhibitWarnings)->setChecked(false);
    s.w->Action(Command::IncludeSourceCode)->setChecked(false);
    TicksUntilSettled(*s.w);
    s.w->Document().CheckForReload();
    QCOMPARE(s.prompt.Count(s.path + "\r\n\r\nThe file checksum is not as expected."), 1);
    QVERIFY(!Reloaded(*s.w) && s.w->Document().ReloadTimer().isActive());
    Rewrite(s.path, "led_chaser.eeprom");
    TicksUntilSettled(*s.w);
    QVERIFY(Reloaded(*s.w));
    QCOMPARE(s.prompt.asked.size(), 1);
  }

  void switchingOnReloadsWhatWasWrittenSinceTheLoad() {
    Watched s(false);
    QVERIFY(!s.w->Document().ReloadTimer().isActive());
    s.w->Action(Command::AutoReload)->trigger();
    QVERIFY(s.w->Document().ReloadTimer().isActive() && !Reloaded(*s.w));
    s.w->Action(Command::AutoReload)->trigger();
    QVERIFY(!s.w->Document().ReloadTimer().isActive());
    Rewrite(s.path, "led_chaser.binary");
    s.w->Document().CheckForReload();  // a tick left over after switching off does nothing
    QVERIFY(!Reloaded(*s.w));
    s.w->Action(Command::AutoReload)->trigger();  // sees the write at once, reloads once it is over
    QVERIFY(!Reloaded(*s.w));
    for (int i = 0; i < FileWatch::kSteadyChecks; ++i) s.w->Document().CheckForReload();
    QVERIFY(s.w->Listing()->toPlainText().contains("Auto-Reloaded at "));
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
    QVERIFY(w->Document().ReloadTimer().isActive());
    w->Document().CheckForReload();  // the image that may have crashed the last run stays closed...
    QVERIFY(w->Listing()->toPlainText().isEmpty());
    Rewrite(path, "led_chaser.binary");  // ...until it is written again
    TicksUntilSettled(*w);
    QVERIFY(w->Listing()->toPlainText().contains("Auto-Reloaded at "));
  }

  // Another program rewriting the image: caught empty, then short, then whole.
  void halfWrittenFileWaitsUntilItStaysTheSame() {
    Watched s(true);
    s.w->Action(Command::InhibitWarnings)->setChecked(false);
    s.w->Action(Command::IncludeSourceCode)->setChecked(false);
    QFile sample(SamplePath("led_chaser.eeprom"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QByteArray whole = sample.readAll();
    for (const QByteArray& part : {QByteArray(), whole.left(1000), whole.left(20000)}) {
      WriteBytes(s.path, part);
      s.w->Document().CheckForReload();
      QCOMPARE(s.w->Document().ReloadTimer().interval(), 250);  // settling: faster ticks
      s.w->Document().CheckForReload();
    }
    WriteBytes(s.path, whole);
    s.w->Document().CheckForReload();
    QVERIFY(!Reloaded(*s.w));
    s.w->Document().CheckForReload();
    QVERIFY(!Reloaded(*s.w));
    s.w->Document().CheckForReload();  // the second tick that finds it unchanged
    QVERIFY(s.w->Listing()->toPlainText().contains("Auto-Reloaded at "));
    QCOMPARE(s.w->Document().ReloadTimer().interval(), 1000);
    QCOMPARE(s.prompt.asked.size(), 0);

    // A file that stays empty gets the usual message, once.
    WriteBytes(s.path, QByteArray());
    for (int i = 0; i < 6; ++i) s.w->Document().CheckForReload();
    QCOMPARE(s.prompt.asked.size(), 1);
    QCOMPARE(s.prompt.asked[0].text, s.path + ": the file is empty");
    QVERIFY(s.w->Document().ReloadTimer().isActive());
  }
};

int RunAutoReloadTests(int argc, char** argv) {
  AutoReloadTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "auto_reload_test.moc"
