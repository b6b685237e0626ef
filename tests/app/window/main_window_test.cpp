// The main window: menus, toolbar and status bar, opening images, the declined
// checksum, refusals, reference tables, caption, recent files and a screenshot.
#include <QClipboard>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include "window/recent_files.h"
#include "engine.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

class WindowTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void menuTreeHasItsDesignStates() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    MainWindow w(store);

    QStringList bar;
    for (QAction* menu : w.menuBar()->actions()) bar << menu->text();
    QCOMPARE(bar, QStringList({"&File", "&Download", "&Edit", "&View", "&Options", "&Help"}));

    QCOMPARE(w.Item("mnuEdit_Find")->shortcut(), QKeySequence("Ctrl+F"));
    QCOMPARE(w.Item("mnuEdit_FindNext")->shortcut(), QKeySequence("F3"));
    QCOMPARE(w.Item("mnuView_FoldEffects")->text(), QString("Fold '&Using' Opcode"));
    QCOMPARE(w.Item("mnuFile_Serator_Mru")->isSeparator(), true);

    // The listing commands wait for a listing; the options show their design marks.
    for (const char* name : {"mnuFile_Save", "mnuFile_SaveAs", "mnuFile_Print", "mnuFile_PrintWithSource",
                             "mnuEdit_Copy", "mnuEdit_SelectAll", "mnuEdit_Find", "mnuEdit_FindNext", "mnuPort_Run",
                             "mnuPort_Download(0)", "mnuPort_Download(1)", "mnuOptions_FlushMru"}) {
      QVERIFY2(!w.Item(name)->isEnabled(), name);
    }
    QAction* keep = w.Item("mnuView_KeepPosition");
    QVERIFY(keep->isChecked() && !keep->isEnabled() && !keep->isVisible());
    QVERIFY(w.Item("mnuFile_Mru(0)")->isVisible() && !w.Item("mnuFile_Mru(1)")->isVisible());
    QVERIFY(w.Item("mnuPort_ComPort(2)")->isVisible() && !w.Item("mnuPort_ComPort(3)")->isVisible());
    QVERIFY(w.Item("mnuPort_ComPort(0)")->isChecked());
    QVERIFY(!w.Item("mnuHelp_DeleteWrappers")->isVisible());

    // The View menu holds the quick-settings submenu in its place.
    QMenu* quick = w.Item("mnuView_QuickSettings")->menu();
    QVERIFY(quick != nullptr);
    QStringList quickItems;
    for (QAction* a : quick->actions()) quickItems << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(quickItems, QStringList({"&All Off", "&Default", "All &On", "-", "&Set Defaults"}));

    QStringList tips;
    for (QAction* a : w.Toolbar->actions()) {
      if (!a->isSeparator()) tips << a->toolTip();
    }
    QCOMPARE(tips, QStringList({"Exit", "Refresh", "Open", "Save", "Print", "Copy", "Find", "Download", "Back", "Forward"}));
    QCOMPARE(w.StatusPanel[0]->text(), QString("No Image Loaded"));
    QCOMPARE(w.StatusPanel[1]->toolTip(), QString("Image Size"));
    QCOMPARE(w.StatusPanel[2]->text(), QString(" Auto "));
  }

  void openingAnImageShowsItsListing() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir dir;
    const QString path = CopySample(dir, "led_chaser.eeprom", "led_chaser.eeprom");
    w->OpenFile(path);

    const QString text = w->txtDisplay->toPlainText();
    QVERIFY(!text.contains('\r'));
    QCOMPARE(text, QString::fromStdString(w->analysis()->listing).replace("\r\n", "\n"));
    QVERIFY(w->txtDisplay->isReadOnly());
    QCOMPARE(w->txtDisplay->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(w->windowTitle(), ProductTitleText() + " - led_chaser");
    QCOMPARE(w->LastFile, path);
    QCOMPARE(w->StatusPanel[0]->text(), path);
    QVERIFY(w->StatusPanel[1]->text().startsWith(" $0000 - $"));
    QCOMPARE(w->SaveFile, dir.path() + "/led_chaser.lst");
    QCOMPARE(w->SourcePath, dir.path() + "/led_chaser.spin");
    // No source beside the copy: the notice shows once per open, not on a refresh.
    QCOMPARE(prompt.Count("Cannot find source file"), 1);
    w->Item("mnuView_Refresh")->trigger();
    QCOMPARE(prompt.Count("Cannot find source file"), 1);
    w->OpenFile(path);
    QCOMPARE(prompt.Count("Cannot find source file"), 2);
    for (const char* name : {"mnuFile_Save", "mnuFile_SaveAs", "mnuFile_Print", "mnuFile_PrintWithSource",
                             "mnuEdit_Copy", "mnuEdit_SelectAll", "mnuEdit_Find", "mnuEdit_FindNext"}) {
      QVERIFY2(w->Item(name)->isEnabled(), name);
    }
    for (const char* key : {"SAVE", "PRINT", "COPY", "FIND"}) QVERIFY2(w->ToolbarButton(key)->isEnabled(), key);
    QVERIFY(!w->ToolbarButton("DOWNLOAD")->isEnabled());
    QVERIFY(!w->Item("mnuPort_Run")->isEnabled());

    // Copy without a selection takes the whole listing, with LF line ends.
    w->Item("mnuEdit_Copy")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(w->analysis()->listing).replace("\r\n", "\n"));
  }

  void saveFolderFollowsTheImageFolder() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir one;
    QTemporaryDir two;
    w->OpenFile(CopySample(one, "led_chaser.eeprom", "a.eeprom"));
    w->SaveFile = "/chosen/by/save-as/a.lst";  // a folder picked earlier in Save As
    w->OpenFile(CopySample(one, "led_chaser.binary", "b.binary"));
    QCOMPARE(w->SaveFile, QString("/chosen/by/save-as/b.lst"));
    QCOMPARE(w->SourcePath, QString("/chosen/by/save-as/b.spin"));
    w->OpenFile(CopySample(two, "led_chaser.eeprom", "c.eeprom"));
    QCOMPARE(w->SaveFile, two.path() + "/c.lst");
  }

  void sourceIsReadFromTheWindowsSourcePath() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir images;
    QTemporaryDir saves;
    w->OpenFile(CopySample(images, "led_chaser.eeprom", "a.eeprom"));
    QCOMPARE(prompt.Count("Cannot find source file"), 1);  // no source beside the copy
    // A save folder chosen earlier is where the source is looked for.
    QVERIFY(QFile::copy(SamplePath("led_chaser.spin"), saves.path() + "/b.spin"));
    w->SaveFile = saves.path() + "/a.lst";
    w->OpenFile(CopySample(images, "led_chaser.binary", "b.binary"));
    QCOMPARE(w->SourcePath, saves.path() + "/b.spin");
    QVERIFY(w->txtDisplay->toPlainText().contains("; PUB main"));
  }

  void foldersAreNotFiles() {
    QTemporaryDir dir;
    QVERIFY(!FileExists(dir.path()));
    QVERIFY(FileExists(SamplePath("led_chaser.eeprom")));
  }

  void declinedChecksumLeavesTheWindowAsItWas() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir dir;
    const QString good = CopySample(dir, "led_chaser.eeprom", "good.eeprom");
    const QString bad = CopySample(dir, "led_chaser.eeprom", "bad.eeprom");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.seek(5);
    char checksum = 0;
    file.getChar(&checksum);
    file.seek(5);
    file.putChar(static_cast<char>(checksum + 1));
    file.close();

    w->OpenFile(good);
    w->Item("mnuHelp_ShowSpinEffects")->trigger();  // a reference table: Save is off now
    const QString text = w->txtDisplay->toPlainText();
    const QString title = w->windowTitle();
    const QString panel = w->StatusPanel[0]->text();
    const QString saveFile = w->SaveFile;

    prompt.asked.clear();
    prompt.answers.enqueue(MessageAnswer::No);
    w->OpenFile(bad);
    QCOMPARE(prompt.Count(bad + "\r\n\r\nThe file checksum is not as expected."), 1);
    QCOMPARE(prompt.asked.last().buttons, MessageButtons::YesNo);
    QCOMPARE(w->txtDisplay->toPlainText(), text);
    QCOMPARE(w->windowTitle(), title);
    QCOMPARE(w->StatusPanel[0]->text(), panel);
    QCOMPARE(w->LastFile, good);
    QCOMPARE(w->SaveFile, saveFile);
    QVERIFY(!w->Item("mnuFile_SaveAs")->isEnabled());
    QCOMPARE(w->cboMruList, QStringList({good}));

    // Answered Yes, or with warnings inhibited, the image is listed.
    prompt.answers.enqueue(MessageAnswer::Yes);
    w->OpenFile(bad);
    QCOMPARE(w->LastFile, bad);
    QVERIFY(w->Item("mnuFile_SaveAs")->isEnabled());
    w->OpenFile(good);
    w->Item("mnuFile_InhibitWarnings")->trigger();
    prompt.asked.clear();
    w->OpenFile(bad);
    QCOMPARE(prompt.Count(bad), 0);
    QCOMPARE(w->LastFile, bad);
  }

  void refusalsAndMissingFilesChangeNothing() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir dir;
    const QString image = CopySample(dir, "led_chaser.eeprom", "led_chaser.eeprom");
    w->OpenFile(image);
    const QString text = w->txtDisplay->toPlainText();

    QString chosen;
    QStringList dialog;
    w->ChooseOpenFile = [&](const QString& title, const QString& folder, const QString& name, const QString&) {
      dialog = {title, folder, name};
      return chosen;
    };
    prompt.asked.clear();
    chosen = dir.filePath("Program.Spin");
    w->Item("mnuFile_Open")->trigger();
    QCOMPARE(dialog, QStringList({"Open Image File ...", dir.path(), "led_chaser.eeprom"}));
    chosen = dir.filePath("listing.ByteCode");
    w->ToolbarButton("OPEN")->trigger();
    chosen = QString();  // cancelled
    w->OpenFrom(w->LastFile);
    QCOMPARE(prompt.asked.size(), 2);
    QCOMPARE(prompt.asked[0].text, QString("Sorry - Cannot compile Spin source files at this time"));
    QCOMPARE(prompt.asked[1].text, QString("Sorry - Cannot Assemble Spin bytecode files at the present time"));
    QCOMPARE(prompt.asked[1].title, ProductTitleText());
    QCOMPARE(prompt.asked[1].icon, MessageIcon::Information);

    const QString gone = dir.filePath("gone.eeprom");
    w->OpenFile(gone);
    QCOMPARE(prompt.asked.last().text, "Cannot find file\r\n\r\n" + gone);
    QCOMPARE(w->LastFile, image);
    QCOMPARE(w->txtDisplay->toPlainText(), text);

    // Refresh of a file that has gone warns and keeps the listing.
    QFile::remove(image);
    w->ToolbarButton("REFRESH")->trigger();
    QCOMPARE(prompt.asked.last().text, "Cannot find " + image);
    QCOMPARE(prompt.asked.last().icon, MessageIcon::Warning);
    QCOMPARE(w->txtDisplay->toPlainText(), text);

    // An unreadable image is reported, not listed.
    const QString empty = dir.filePath("empty.binary");
    QFile(empty).open(QIODevice::WriteOnly);
    w->OpenFile(empty);
    QCOMPARE(prompt.asked.last().icon, MessageIcon::Warning);
    QVERIFY(prompt.asked.last().text.contains("empty.binary"));
    QCOMPARE(w->LastFile, image);
  }

  void referenceTablesDisableSaving() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir dir;
    w->OpenFile(CopySample(dir, "led_chaser.eeprom", "led_chaser.eeprom"));

    w->Item("mnuHelp_ShowImageFlags")->trigger();
    QVERIFY(w->txtDisplay->toPlainText().startsWith("Image Flags\n"));
    QVERIFY(!w->Item("mnuFile_Save")->isEnabled() && !w->Item("mnuFile_SaveAs")->isEnabled());
    QVERIFY(!w->Item("mnuFile_PrintWithSource")->isEnabled());
    QVERIFY(w->Item("mnuFile_Print")->isEnabled() && w->Item("mnuEdit_Copy")->isEnabled());
    QVERIFY(!w->ToolbarButton("SAVE")->isEnabled() && w->ToolbarButton("PRINT")->isEnabled());

    for (const char* table : {"mnuHelp_ShowSpinOpcodes", "mnuHelp_ShowSpinEffects", "mnuHelp_ShowAsmbOpcodes"}) {
      w->Item(table)->trigger();
      const QString text = w->txtDisplay->toPlainText();
      QVERIFY2(text.count('\n') > 30 && !text.contains('\r'), table);
    }
    // Refreshing brings back the listing and its commands.
    w->Item("mnuView_Refresh")->trigger();
    QVERIFY(w->Item("mnuFile_SaveAs")->isEnabled());
  }

  void captionFollowsTheWindowState() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QCOMPARE(w->windowTitle(), ProductTitleText());
    w->setWindowState(Qt::WindowMinimized);
    QCOMPARE(w->windowTitle(), ProductTitleText());  // no image yet: the design caption stays

    QTemporaryDir dir;
    w->setWindowState(Qt::WindowNoState);
    w->OpenFile(CopySample(dir, "led_chaser.eeprom", "Chaser.v2.eeprom"));
    w->setWindowState(Qt::WindowMinimized);
    QCOMPARE(w->windowTitle(), QString("Chaser.v2 - Disassembler"));
    w->setWindowState(Qt::WindowNoState);
    QCOMPARE(w->windowTitle(), ProductTitleText() + " - Chaser.v2");
  }

  void recentFilesList() {
    QStringList list;
    AddRecentFile(list, "/A/x.binary");
    AddRecentFile(list, "/a/X.BINARY");
    QCOMPARE(list, QStringList({"/A/x.binary"}));
    AddRecentFile(list, "/b");
    AddRecentFile(list, "/c");
    AddRecentFile(list, "/A/X.binary");
    QCOMPARE(list, QStringList({"/A/X.binary", "/c", "/b"}));
    for (int i = 0; i < 12; ++i) AddRecentFile(list, "/f" + QString::number(i));
    QCOMPARE(list.size(), 11);
    QCOMPARE(list.front(), QString("/f11"));
    QCOMPARE(list.back(), QString("/f1"));
  }

  void recentFilesMenuAndFlush() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QVERIFY(!w->Item("mnuFile_Mru(0)")->isVisible() && !w->Item("mnuFile_Serator_Mru")->isVisible());
    QTemporaryDir dir;
    QTemporaryDir other;
    for (int i = 1; i <= 12; ++i) w->OpenFile(CopySample(dir, "led_chaser.binary", QString("f%1.binary").arg(i)));
    w->OpenFile(CopySample(other, "led_chaser.binary", "f&12.binary"));
    QCOMPARE(w->cboMruList.size(), 11);
    QCOMPARE(w->Item("mnuFile_Mru(0)")->text(), QString("&1 f&&12.binary"));
    QCOMPARE(w->Item("mnuFile_Mru(1)")->text(), QString("&2 f12.binary"));
    QCOMPARE(w->Item("mnuFile_Mru(7)")->text(), QString("&8 f6.binary"));
    QVERIFY(w->Item("mnuFile_Mru(7)")->isVisible() && w->Item("mnuFile_Serator_Mru")->isVisible());
    QVERIFY(w->Item("mnuOptions_FlushMru")->isEnabled());

    // An entry opens its full path.
    w->Item("mnuFile_Mru(3)")->trigger();
    QCOMPARE(w->LastFile, dir.filePath("f10.binary"));
    QCOMPARE(w->cboMruList.front(), w->LastFile);

    prompt.asked.clear();
    prompt.answers.enqueue(MessageAnswer::No);
    w->Item("mnuOptions_FlushMru")->trigger();
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].text, QString("Are you sure you want to flush the Files Used List ?"));
    QCOMPARE(prompt.asked[0].buttons, MessageButtons::YesNo);
    QCOMPARE(w->cboMruList.size(), 11);

    store.WriteText("Mru", "5", "/left/over");
    w->Item("mnuOptions_FlushMru")->trigger();
    QVERIFY(w->cboMruList.isEmpty());
    QCOMPARE(store.ReadText("Mru", "5", "absent"), QString());
    QVERIFY(!w->Item("mnuFile_Mru(0)")->isVisible() && !w->Item("mnuFile_Serator_Mru")->isVisible());
    QVERIFY(!w->Item("mnuOptions_FlushMru")->isEnabled());
    QVERIFY(!w->LastFile.isEmpty());
  }

  void windowScreenshot() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Item("mnuOptions_ShowStatusBar")->trigger();
    w->resize(1000, 700);
    w->OpenFile(SamplePath("led_chaser.eeprom"));
    QVERIFY(w->statusBar()->isVisible());
    QCoreApplication::processEvents();
    const QString png = QString(BREVIN_ARTIFACT_DIR) + "/brevin-main-window.png";
    QVERIFY(w->grab().save(png));
    QVERIFY(QFileInfo(png).size() > 1000);
  }
};

int RunWindowTests(int argc, char** argv) {
  WindowTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "main_window_test.moc"
