// The settings store: defaults after a fresh run, restoring, unreadable values,
// the option toggles with and without Auto-Refresh, and the quick settings.
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>
#include <cmath>
#include <cstdio>

#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

int RunPlacementProbe(int argc, char** argv) {
  QApplication app(argc, argv);
  ScriptedPrompt prompt;
  SettingsStore store(kSettingsAppName);
  auto w = LoadWindow(store);
  if (!w) return 1;
  QCoreApplication::processEvents();
  const double ratio = w->devicePixelRatioF();
  std::printf("%ldx%ld\n", std::lround(w->width() * ratio), std::lround(w->height() * ratio));
  w->close();
  return 0;
}

namespace {

// Settings key, design default.
const QList<QPair<QString, bool>> kDesignOptions = {
    {"ShowImage", true},        {"IncludeSourceCode", true}, {"ProcessAssembler", true}, {"ShowLabels", true},
    {"FoldOpcodes", true},      {"FoldEffects", true},       {"FoldOperators", true},    {"FoldArguments", true},
    {"FoldSpr", true},          {"FoldIndexes", false},      {"KeepPosition", true},     {"ColonsAfterLabels", false},
    {"ForceHash", false},       {"DefaultLong", false},      {"CastVariables", false},   {"SymbolTable", false},
    {"AutoRefresh", false},     {"ShowToolbar", true},       {"ShowStatusbar", false},   {"DebugSpin", false},
    {"DebugAsmb", false},       {"DebugVars", false},        {"ReloadAtStart", true},    {"AutoReload", false},
    {"InhibitWarnings", false}, {"TraceAllMethods", false}, {"ShowSpinSource", false}, {"LibraryNames", true},
};

constexpr Command kQuickItems[] = {Command::ShowLabels,    Command::FoldOpcodes,   Command::FoldEffects,
                                   Command::FoldOperators, Command::FoldArguments, Command::FoldSpr,
                                   Command::FoldIndexes};

}  // namespace

class SettingsTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void freshStoreGetsEveryKeyAfterANormalExit() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    LoadWindow(store)->close();
    for (const auto& [key, value] : kDesignOptions) {
      QCOMPARE(store.ReadText("Settings", key, "absent"), BoolText(value));
    }
    QCOMPARE(store.ReadText("Settings", "QuickSetBits"), QString("63"));
    QCOMPARE(store.ReadText("Window", "State"), QString("0"));
    for (const char* key : {"Top", "Left", "Height", "Width"}) QVERIFY(store.ReadInt("Window", key, -1) >= 0);
    QCOMPARE(store.ReadText("Font", "Size"), QString("8.25"));
    QCOMPARE(store.ReadText("Font", "Bold"), QString("False"));
    QVERIFY(!store.ReadText("Font", "Name").isEmpty());
    QCOMPARE(store.ReadText("Ports", "AutoFind"), QString("False"));
    QCOMPARE(store.ReadText("Ports", "Port"), QString("0"));
    QCOMPARE(store.ReadText("Ports", "DownloadToEeprom"), QString("True"));
    QVERIFY(!store.Contains("Ports", "MaxPorts"));
    QCOMPARE(store.ReadText("Find", "Mode"), QString("0"));
    for (const char* key : {"0", "10"}) QCOMPARE(store.ReadText("Find", key, "absent"), QString());
    for (const char* key : {"LastFile", "SaveFile", "1", "11"}) QCOMPARE(store.ReadText("Mru", key, "absent"), QString());
    for (const char* key : {"Path", "Manual", "QuickReference"}) QVERIFY(store.Contains("PropTool", key));
    QCOMPARE(store.ReadText("Setup", "Crashed"), QString("False"));
    QCOMPARE(store.ReadText("Setup", "Instances"), QString("1"));
    QCOMPARE(store.ReadText("Setup", "Blocked"), QString("No"));
  }

  void settingsSurviveARestart() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    QTemporaryDir dir;
    const QString image = CopySample(dir, "led_chaser.eeprom", "led_chaser.eeprom");
    {
      auto w = LoadWindow(store);
      w->Document().OpenFile(image);
      for (Command item : {Command::FoldIndexes, Command::ShowImage, Command::InhibitWarnings,
                               Command::ShowStatusBar, Command::ShowToolbar, Command::DebugAsmb}) {
        w->Action(item)->trigger();
      }
      w->Action(Command::DownloadToRam)->setChecked(true);
      QFont font = w->Listing()->font();
      font.setPointSizeF(11.5);
      font.setBold(true);
      w->Listing()->setFont(font);
      w->Document().SetSaveFile(dir_.filePath("elsewhere.lst"));  // a folder chosen in Save As
      w->close();
    }
    auto w = LoadWindow(store);
    QVERIFY(w->Action(Command::FoldIndexes)->isChecked() && !w->Action(Command::ShowImage)->isChecked());
    QVERIFY(w->Action(Command::InhibitWarnings)->isChecked());
    QVERIFY(w->statusBar()->isVisible() && !w->ToolBar()->isVisible());
    QVERIFY(w->Action(Command::DebugAsmb)->isChecked() && w->Action(Command::DebugVars)->isEnabled());
    QVERIFY(w->Action(Command::DownloadToRam)->isChecked() && !w->Action(Command::DownloadToEeprom)->isChecked());
    QCOMPARE(w->Listing()->font().pointSizeF(), 11.5);
    QVERIFY(w->Listing()->font().bold());
    QCOMPARE(w->Document().SaveFile(), dir_.filePath("led_chaser.lst"));  // the reopened image keeps that folder
    QCOMPARE(w->RecentFiles(), QStringList({image}));
    // Reopened at start, listed without the image columns.
    QCOMPARE(w->Document().LastFile(), image);
    QVERIFY(w->Listing()->toPlainText().trimmed().endsWith("END"));
  }

  void absentAndUnreadableValuesKeepTheDesignState() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    store.WriteText("Settings", "FoldEffects", "False");
    store.WriteText("Settings", "ShowLabels", "maybe");
    store.WriteText("Settings", "QuickSetBits", "lots");
    store.WriteText("Font", "Size", "big");
    store.WriteText("Window", "Left", "90000000");  // a screen that has gone
    store.WriteText("Mru", "1", dir_.filePath("gone.eeprom"));
    store.WriteText("Mru", "2", SamplePath("led_chaser.binary"));
    store.Sync();
    auto w = LoadWindow(store);
    QVERIFY(!w->Action(Command::FoldEffects)->isChecked());
    QVERIFY(w->Action(Command::FoldOperators)->isChecked());
    QVERIFY(w->Action(Command::ShowLabels)->isChecked());
    QCOMPARE(w->QuickSetBits(), 63);
    QCOMPARE(w->Listing()->font().pointSizeF(), 8.25);
    QVERIFY(w->x() < 10000);
    QCOMPARE(w->RecentFiles(), QStringList({SamplePath("led_chaser.binary")}));
    QVERIFY(!w->Action(Command::DebugVars)->isEnabled());
    w->close();
    // The dropped entry does not come back.
    QCOMPARE(store.ReadText("Mru", "1"), SamplePath("led_chaser.binary"));
    QCOMPARE(store.ReadText("Mru", "2", "absent"), QString());
  }

  void maximisedWindowKeepsItsNormalRectangle() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->setGeometry(40, 50, 700, 500);
    w->SaveSettings();
    const QString width = store.ReadText("Window", "Width");
    QCOMPARE(width, QString::number(qRound(700 * 1440.0 / w->screen()->logicalDotsPerInchY())));
    w->setWindowState(Qt::WindowMaximized);
    w->close();
    QCOMPARE(store.ReadText("Window", "State"), QString("2"));
    QCOMPARE(store.ReadText("Window", "Width"), width);
    auto again = LoadWindow(store);
    QVERIFY(again->isMaximized());
  }

  void aWindowReopensAtTheSameSizeOnTheScreenAtAnotherScale() {
    // Each run is a process of its own (the scale factor is read once, at start):
    // it starts the window as the program does, tells its size in device pixels
    // and closes it, which stores the placement.
    const auto run = [](const char* scale) {
      QProcess probe;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert("QT_SCALE_FACTOR", scale);
      probe.setProcessEnvironment(env);
      probe.start(QCoreApplication::applicationFilePath(), {"--placement-probe"});
      if (!probe.waitForFinished(30000) || probe.exitCode() != 0) return QString("failed");
      return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
    };
    const QString first = run("1.5");
    QVERIFY2(first.contains('x'), qPrintable(first));
    QCOMPARE(run("1"), first);
    QCOMPARE(run("1.5"), first);
  }

  void togglesRefreshOnlyWithAutoRefresh() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);

    // Never opened: Auto-Refresh warns "Cannot find " followed by nothing.
    w->Action(Command::AutoRefresh)->trigger();
    w->Action(Command::FoldOpcodes)->trigger();
    QCOMPARE(prompt.Count("Cannot find "), 2);
    QCOMPARE(prompt.asked.last().text, QString("Cannot find "));
    QVERIFY(!w->Action(Command::FoldOpcodes)->isChecked());

    // "&All Off" re-runs once, not once per option.
    prompt.asked.clear();
    w->Action(Command::QuickSettingsAllOff)->trigger();
    QCOMPARE(prompt.Count("Cannot find "), 1);
    for (Command item : kQuickItems) QVERIFY2(!w->Action(item)->isChecked(), qPrintable(w->Action(item)->text()));

    // Toggles that only mark never refresh.
    prompt.asked.clear();
    for (Command item : {Command::ReloadAtStart, Command::InhibitWarnings, Command::DebugSpin,
                             Command::ShowStatusBar}) {
      w->Action(item)->trigger();
    }
    QCOMPARE(prompt.asked.size(), 0);
    QVERIFY(w->Action(Command::DebugVars)->isEnabled());

    // With an image: off, the listing waits; on, it follows at once.
    w->Action(Command::AutoRefresh)->trigger();
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    const QString withImage = w->Listing()->toPlainText();
    w->Action(Command::ShowImage)->trigger();
    QCOMPARE(w->Listing()->toPlainText(), withImage);
    w->Document().SetSourceWarningArmed(false);
    w->Action(Command::IncludeSourceCode)->trigger();
    QVERIFY(w->Document().SourceWarningArmed());
    w->Action(Command::AutoRefresh)->trigger();
    QVERIFY(w->Listing()->toPlainText() != withImage);
    QVERIFY(w->Listing()->toPlainText().trimmed().endsWith("END"));
  }

  void quickSettingsDefaultsRoundTrip() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    {
      auto w = LoadWindow(store);
      QCOMPARE(w->QuickSetBits(), 63);
      w->Action(Command::QuickSettingsAllOff)->trigger();
      w->Action(Command::FoldIndexes)->trigger();
      w->Action(Command::QuickSettingsSetDefaults)->trigger();
      QCOMPARE(w->QuickSetBits(), 64);
      w->Action(Command::QuickSettingsAllOn)->trigger();
      for (Command item : kQuickItems) QVERIFY2(w->Action(item)->isChecked(), qPrintable(w->Action(item)->text()));
      w->close();
    }
    QCOMPARE(store.ReadText("Settings", "QuickSetBits"), QString("64"));
    auto w = LoadWindow(store);
    QCOMPARE(w->QuickSetBits(), 64);
    w->Action(Command::QuickSettingsDefault)->trigger();
    for (Command item : kQuickItems) {
      QCOMPARE(w->Action(item)->isChecked(), item == Command::FoldIndexes);
    }
    QCOMPARE(prompt.Count("Cannot find"), 0);  // Auto-Refresh is off
  }

 private:
  QTemporaryDir dir_;
};

int RunSettingsTests(int argc, char** argv) {
  SettingsTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "settings_test.moc"
