// The settings store: defaults after a fresh run, restoring, unreadable values,
// the option toggles with and without Auto-Refresh, and the quick settings.
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

// Settings key, design default.
const QList<QPair<QString, bool>> kDesignOptions = {
    {"ShowImage", true},        {"IncludeSourceCode", true}, {"ProcessAssembler", true}, {"ShowLabels", true},
    {"FoldOpcodes", true},      {"FoldEffects", true},       {"FoldOperators", true},    {"FoldArguments", true},
    {"FoldSpr", true},          {"FoldIndexes", false},      {"KeepPosition", true},     {"ColonsAfterLabels", false},
    {"ForceHash", false},       {"DefaultLong", false},      {"CastVariables", false},   {"SymbolTable", false},
    {"AutoRefresh", false},     {"ShowToolbar", true},       {"ShowStatusbar", false},   {"DebugSpin", false},
    {"DebugAsmb", false},       {"DebugVars", false},        {"ReloadAtStart", true},    {"AutoReload", false},
    {"InhibitWarnings", false},
};

const char* const kQuickItems[] = {"mnuView_ShowLabels",    "mnuView_FoldOpcodes",   "mnuView_FoldEffects",
                                   "mnuView_FoldOperators", "mnuView_FoldArguments", "mnuView_FoldSpr",
                                   "mnuView_FoldIndexes"};

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
      w->OpenFile(image);
      for (const char* item : {"mnuView_FoldIndexes", "mnuView_ShowImage", "mnuFile_InhibitWarnings",
                               "mnuOptions_ShowStatusBar", "mnuOptions_ShowToolbar", "mnuHelp_DebugAsmb"}) {
        w->Item(item)->trigger();
      }
      w->Item("mnuPort_Download(1)")->setChecked(true);
      QFont font = w->txtDisplay->font();
      font.setPointSizeF(11.5);
      font.setBold(true);
      w->txtDisplay->setFont(font);
      w->SaveFile = dir_.filePath("elsewhere.lst");  // a folder chosen in Save As
      w->close();
    }
    auto w = LoadWindow(store);
    QVERIFY(w->Item("mnuView_FoldIndexes")->isChecked() && !w->Item("mnuView_ShowImage")->isChecked());
    QVERIFY(w->Item("mnuFile_InhibitWarnings")->isChecked());
    QVERIFY(w->statusBar()->isVisible() && !w->Toolbar->isVisible());
    QVERIFY(w->Item("mnuHelp_DebugAsmb")->isChecked() && w->Item("mnuHelp_DebugVars")->isEnabled());
    QVERIFY(w->Item("mnuPort_Download(1)")->isChecked() && !w->Item("mnuPort_Download(0)")->isChecked());
    QCOMPARE(w->txtDisplay->font().pointSizeF(), 11.5);
    QVERIFY(w->txtDisplay->font().bold());
    QCOMPARE(w->SaveFile, dir_.filePath("led_chaser.lst"));  // the reopened image keeps that folder
    QCOMPARE(w->cboMruList, QStringList({image}));
    // Reopened at start, listed without the image columns.
    QCOMPARE(w->LastFile, image);
    QVERIFY(w->txtDisplay->toPlainText().trimmed().endsWith("END"));
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
    QVERIFY(!w->Item("mnuView_FoldEffects")->isChecked());
    QVERIFY(w->Item("mnuView_FoldOperators")->isChecked());
    QVERIFY(w->Item("mnuView_ShowLabels")->isChecked());
    QCOMPARE(w->QuickSetBits, 63);
    QCOMPARE(w->txtDisplay->font().pointSizeF(), 8.25);
    QVERIFY(w->x() < 10000);
    QCOMPARE(w->cboMruList, QStringList({SamplePath("led_chaser.binary")}));
    QVERIFY(!w->Item("mnuHelp_DebugVars")->isEnabled());
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

  void togglesRefreshOnlyWithAutoRefresh() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);

    // Never opened: Auto-Refresh warns "Cannot find " followed by nothing.
    w->Item("mnuView_AutoRefresh")->trigger();
    w->Item("mnuView_FoldOpcodes")->trigger();
    QCOMPARE(prompt.Count("Cannot find "), 2);
    QCOMPARE(prompt.asked.last().text, QString("Cannot find "));
    QVERIFY(!w->Item("mnuView_FoldOpcodes")->isChecked());

    // "&All Off" re-runs once, not once per option.
    prompt.asked.clear();
    w->Item("mnuOptions_QuickSettings_Off")->trigger();
    QCOMPARE(prompt.Count("Cannot find "), 1);
    for (const char* item : kQuickItems) QVERIFY2(!w->Item(item)->isChecked(), item);

    // Toggles that only mark never refresh.
    prompt.asked.clear();
    for (const char* item : {"mnuFile_ReloadAtStart", "mnuFile_InhibitWarnings", "mnuHelp_DebugSpin",
                             "mnuOptions_ShowStatusBar"}) {
      w->Item(item)->trigger();
    }
    QCOMPARE(prompt.asked.size(), 0);
    QVERIFY(w->Item("mnuHelp_DebugVars")->isEnabled());

    // With an image: off, the listing waits; on, it follows at once.
    w->Item("mnuView_AutoRefresh")->trigger();
    w->OpenFile(SamplePath("led_chaser.eeprom"));
    const QString withImage = w->txtDisplay->toPlainText();
    w->Item("mnuView_ShowImage")->trigger();
    QCOMPARE(w->txtDisplay->toPlainText(), withImage);
    w->SourceWarningArmed = false;
    w->Item("mnuView_IncludeSourceCode")->trigger();
    QVERIFY(w->SourceWarningArmed);
    w->Item("mnuView_AutoRefresh")->trigger();
    QVERIFY(w->txtDisplay->toPlainText() != withImage);
    QVERIFY(w->txtDisplay->toPlainText().trimmed().endsWith("END"));
  }

  void quickSettingsDefaultsRoundTrip() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    {
      auto w = LoadWindow(store);
      QCOMPARE(w->QuickSetBits, 63);
      w->Item("mnuOptions_QuickSettings_Off")->trigger();
      w->Item("mnuView_FoldIndexes")->trigger();
      w->Item("mnuOptions_QuickSettings_Set")->trigger();
      QCOMPARE(w->QuickSetBits, 64);
      w->Item("mnuOptions_QuickSettings_On")->trigger();
      for (const char* item : kQuickItems) QVERIFY2(w->Item(item)->isChecked(), item);
      w->close();
    }
    QCOMPARE(store.ReadText("Settings", "QuickSetBits"), QString("64"));
    auto w = LoadWindow(store);
    QCOMPARE(w->QuickSetBits, 64);
    w->Item("mnuOptions_QuickSettings_Default")->trigger();
    for (const char* item : kQuickItems) {
      QCOMPARE(w->Item(item)->isChecked(), QString(item) == "mnuView_FoldIndexes");
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
