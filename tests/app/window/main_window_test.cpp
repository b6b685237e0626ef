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
#include "brevin/engine.h"
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

    QCOMPARE(w.Action(Command::Find)->shortcut(), QKeySequence("Ctrl+F"));
    QCOMPARE(w.Action(Command::FindNext)->shortcut(), QKeySequence("F3"));
    QCOMPARE(w.Action(Command::FoldEffects)->text(), QString("Fold '&Using' Opcode"));
    QCOMPARE(w.Action(Command::RecentFilesSeparator)->isSeparator(), true);

    // The listing commands wait for a listing; the options show their design marks.
    for (Command name : {Command::Save, Command::SaveAs, Command::Print, Command::PrintWithSource,
                             Command::Copy, Command::SelectAll, Command::Find, Command::FindNext, Command::DownloadRun,
                             Command::DownloadToEeprom, Command::DownloadToRam, Command::FlushRecentFiles}) {
      QVERIFY2(!w.Action(name)->isEnabled(), qPrintable(w.Action(name)->text()));
    }
    QAction* keep = w.Action(Command::KeepPosition);
    QVERIFY(keep->isChecked() && !keep->isEnabled() && !keep->isVisible());
    QVERIFY(w.Action(Command::RecentFile1)->isVisible() && !w.Action(Command::RecentFile2)->isVisible());
    QVERIFY(w.Action(Command::Port2)->isVisible() && !w.Action(Command::Port3)->isVisible());
    QVERIFY(w.Action(Command::PortAuto)->isChecked());
    QVERIFY(!w.Action(Command::DeleteWrappers)->isVisible());

    // The View menu holds the quick-settings submenu in its place.
    QMenu* quick = w.Action(Command::QuickSettingsMenu)->menu();
    QVERIFY(quick != nullptr);
    QStringList quickItems;
    for (QAction* a : quick->actions()) quickItems << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(quickItems, QStringList({"&All Off", "&Default", "All &On", "-", "&Set Defaults"}));

    QStringList tips;
    for (QAction* a : w.ToolBar()->actions()) {
      if (!a->isSeparator()) tips << a->toolTip();
    }
    QCOMPARE(tips, QStringList({"Exit", "Refresh", "Open", "Save", "Print", "Copy", "Find", "Download", "Back", "Forward"}));
    // Each button is the menu item it stands for, so both are enabled and act alike;
    // the button keeps its short name and the menu its caption, without the icon.
    const QList<QPair<const char*, Command>> buttons = {
        {"EXIT", Command::Exit},   {"REFRESH", Command::Refresh}, {"OPEN", Command::Open}, {"SAVE", Command::SaveAs},
        {"PRINT", Command::Print}, {"COPY", Command::Copy},       {"FIND", Command::Find}, {"DOWNLOAD", Command::DownloadRun}};
    for (const auto& [tip, command] : buttons) QVERIFY2(ToolbarButton(w, tip) == w.Action(command), tip);
    QCOMPARE(w.Action(Command::SaveAs)->text(), QString("Save Decompilation &As ..."));
    QCOMPARE(w.Action(Command::SaveAs)->iconText(), QString("Save"));
    QVERIFY(!w.Action(Command::SaveAs)->isIconVisibleInMenu());
    QCOMPARE(w.StatusPanel(0)->text(), QString("No Image Loaded"));
    QCOMPARE(w.StatusPanel(1)->toolTip(), QString("Image Size"));
    QCOMPARE(w.StatusPanel(2)->text(), QString(" Auto "));
  }

  void openingAnImageShowsItsListing() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir dir;
    const QString path = CopySample(dir, "led_chaser.eeprom", "led_chaser.eeprom");
    w->Document().OpenFile(path);

    const QString text = w->Listing()->toPlainText();
    QVERIFY(!text.contains('\r'));
    QCOMPARE(text, QString::fromStdString(w->analysis()->listing).replace("\r\n", "\n"));
    QVERIFY(w->Listing()->isReadOnly());
    QCOMPARE(w->Listing()->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(w->windowTitle(), ProductTitleText() + " - led_chaser");
    QCOMPARE(w->Document().LastFile(), path);
    QCOMPARE(w->StatusPanel(0)->text(), path);
    QVERIFY(w->StatusPanel(1)->text().startsWith(" $0000 - $"));
    QCOMPARE(w->Document().SaveFile(), dir.path() + "/led_chaser.lst");
    QCOMPARE(w->Document().SourcePath(), dir.path() + "/led_chaser.spin");
    // No source beside the copy: the notice shows once per open, not on a refresh.
    QCOMPARE(prompt.Count("Cannot find source file"), 1);
    w->Action(Command::Refresh)->trigger();
    QCOMPARE(prompt.Count("Cannot find source file"), 1);
    w->Document().OpenFile(path);
    QCOMPARE(prompt.Count("Cannot find source file"), 2);
    for (Command name : {Command::Save, Command::SaveAs, Command::Print, Command::PrintWithSource,
                             Command::Copy, Command::SelectAll, Command::Find, Command::FindNext}) {
      QVERIFY2(w->Action(name)->isEnabled(), qPrintable(w->Action(name)->text()));
    }
    for (const char* key : {"SAVE", "PRINT", "COPY", "FIND"}) QVERIFY2(ToolbarButton(*w, key)->isEnabled(), key);
    QVERIFY(!ToolbarButton(*w, "DOWNLOAD")->isEnabled());
    QVERIFY(!w->Action(Command::DownloadRun)->isEnabled());

    // Copy without a selection takes the whole listing, with LF line ends.
    w->Action(Command::Copy)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(w->analysis()->listing).replace("\r\n", "\n"));
  }

  void saveFolderFollowsTheImageFolder() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir one;
    QTemporaryDir two;
    w->Document().OpenFile(CopySample(one, "led_chaser.eeprom", "a.eeprom"));
    w->Document().SetSaveFile("/chosen/by/save-as/a.lst");  // a folder picked earlier in Save As
    w->Document().OpenFile(CopySample(one, "led_chaser.binary", "b.binary"));
    QCOMPARE(w->Document().SaveFile(), QString("/chosen/by/save-as/b.lst"));
    QCOMPARE(w->Document().SourcePath(), QString("/chosen/by/save-as/b.spin"));
    w->Document().OpenFile(CopySample(two, "led_chaser.eeprom", "c.eeprom"));
    QCOMPARE(w->Document().SaveFile(), two.path() + "/c.lst");
  }

  void sourceIsReadFromTheWindowsSourcePath() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir images;
    QTemporaryDir saves;
    w->Document().OpenFile(CopySample(images, "led_chaser.eeprom", "a.eeprom"));
    QCOMPARE(prompt.Count("Cannot find source file"), 1);  // no source beside the copy
    // A save folder chosen earlier is where the source is looked for.
    QVERIFY(QFile::copy(SamplePath("led_chaser.spin"), saves.path() + "/b.spin"));
    w->Document().SetSaveFile(saves.path() + "/a.lst");
    w->Document().OpenFile(CopySample(images, "led_chaser.binary", "b.binary"));
    QCOMPARE(w->Document().SourcePath(), saves.path() + "/b.spin");
    QVERIFY(w->Listing()->toPlainText().contains("; PUB main"));
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

    w->Document().OpenFile(good);
    w->Action(Command::ShowSpinEffects)->trigger();  // a reference table: Save is off now
    const QString text = w->Listing()->toPlainText();
    const QString title = w->windowTitle();
    const QString panel = w->StatusPanel(0)->text();
    const QString saveFile = w->Document().SaveFile();

    prompt.asked.clear();
    prompt.answers.enqueue(MessageAnswer::No);
    w->Document().OpenFile(bad);
    QCOMPARE(prompt.Count(bad + "\r\n\r\nThe file checksum is not as expected."), 1);
    QCOMPARE(prompt.asked.last().buttons, MessageButtons::YesNo);
    QCOMPARE(w->Listing()->toPlainText(), text);
    QCOMPARE(w->windowTitle(), title);
    QCOMPARE(w->StatusPanel(0)->text(), panel);
    QCOMPARE(w->Document().LastFile(), good);
    QCOMPARE(w->Document().SaveFile(), saveFile);
    QVERIFY(!w->Action(Command::SaveAs)->isEnabled());
    QCOMPARE(w->RecentFiles(), QStringList({good}));

    // Answered Yes, or with warnings inhibited, the image is listed; the notice
    // that came before the question is not shown again by the second load.
    prompt.asked.clear();
    prompt.answers.enqueue(MessageAnswer::Yes);
    w->Document().OpenFile(bad);
    QCOMPARE(w->Document().LastFile(), bad);
    QCOMPARE(prompt.Count("Cannot find source file\r\n\r\n"), 1);
    QCOMPARE(prompt.Count(bad + "\r\n\r\nThe file checksum is not as expected."), 1);
    QVERIFY(prompt.asked.first().text.startsWith("Cannot find source file"));
    QVERIFY(w->Action(Command::SaveAs)->isEnabled());
    w->Document().OpenFile(good);
    w->Action(Command::InhibitWarnings)->trigger();
    prompt.asked.clear();
    w->Document().OpenFile(bad);
    QCOMPARE(prompt.Count(bad), 0);
    QCOMPARE(w->Document().LastFile(), bad);
  }

  void refusalsAndMissingFilesChangeNothing() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir dir;
    const QString image = CopySample(dir, "led_chaser.eeprom", "led_chaser.eeprom");
    w->Document().OpenFile(image);
    const QString text = w->Listing()->toPlainText();

    QString chosen;
    QStringList dialog;
    w->Document().OpenChooser() = [&](const QString& title, const QString& folder, const QString& name, const QString&) {
      dialog = {title, folder, name};
      return chosen;
    };
    prompt.asked.clear();
    chosen = dir.filePath("Program.Spin");
    w->Action(Command::Open)->trigger();
    QCOMPARE(dialog, QStringList({"Open Image File ...", dir.path(), "led_chaser.eeprom"}));
    chosen = dir.filePath("listing.ByteCode");
    ToolbarButton(*w, "OPEN")->trigger();
    chosen = QString();  // cancelled
    w->Document().OpenFrom(w->Document().LastFile());
    QCOMPARE(prompt.asked.size(), 2);
    QCOMPARE(prompt.asked[0].text, QString("Sorry - Cannot compile Spin source files at this time"));
    QCOMPARE(prompt.asked[1].text, QString("Sorry - Cannot Assemble Spin bytecode files at the present time"));
    QCOMPARE(prompt.asked[1].title, ProductTitleText());
    QCOMPARE(prompt.asked[1].icon, MessageIcon::Information);

    const QString gone = dir.filePath("gone.eeprom");
    w->Document().OpenFile(gone);
    QCOMPARE(prompt.asked.last().text, "Cannot find file\r\n\r\n" + gone);
    QCOMPARE(w->Document().LastFile(), image);
    QCOMPARE(w->Listing()->toPlainText(), text);

    // Refresh of a file that has gone warns and keeps the listing.
    QFile::remove(image);
    ToolbarButton(*w, "REFRESH")->trigger();
    QCOMPARE(prompt.asked.last().text, "Cannot find " + image);
    QCOMPARE(prompt.asked.last().icon, MessageIcon::Warning);
    QCOMPARE(w->Listing()->toPlainText(), text);

    // An unreadable image is reported, not listed.
    const QString empty = dir.filePath("empty.binary");
    QFile(empty).open(QIODevice::WriteOnly);
    w->Document().OpenFile(empty);
    QCOMPARE(prompt.asked.last().icon, MessageIcon::Warning);
    QVERIFY(prompt.asked.last().text.contains("empty.binary"));
    QCOMPARE(w->Document().LastFile(), image);
  }

  void referenceTablesDisableSaving() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir dir;
    w->Document().OpenFile(CopySample(dir, "led_chaser.eeprom", "led_chaser.eeprom"));

    w->Action(Command::ShowImageFlags)->trigger();
    QVERIFY(w->Listing()->toPlainText().startsWith("Image Flags\n"));
    QVERIFY(!w->Action(Command::Save)->isEnabled() && !w->Action(Command::SaveAs)->isEnabled());
    QVERIFY(!w->Action(Command::PrintWithSource)->isEnabled());
    QVERIFY(w->Action(Command::Print)->isEnabled() && w->Action(Command::Copy)->isEnabled());
    QVERIFY(!ToolbarButton(*w, "SAVE")->isEnabled() && ToolbarButton(*w, "PRINT")->isEnabled());

    for (Command table : {Command::ShowSpinOpcodes, Command::ShowSpinEffects, Command::ShowAsmbOpcodes}) {
      w->Action(table)->trigger();
      const QString text = w->Listing()->toPlainText();
      QVERIFY2(text.count('\n') > 30 && !text.contains('\r'), qPrintable(w->Action(table)->text()));
    }
    // Refreshing brings back the listing and its commands.
    w->Action(Command::Refresh)->trigger();
    QVERIFY(w->Action(Command::SaveAs)->isEnabled());
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
    w->Document().OpenFile(CopySample(dir, "led_chaser.eeprom", "Chaser.v2.eeprom"));
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
    QVERIFY(!w->Action(Command::RecentFile1)->isVisible() && !w->Action(Command::RecentFilesSeparator)->isVisible());
    QTemporaryDir dir;
    QTemporaryDir other;
    for (int i = 1; i <= 12; ++i) w->Document().OpenFile(CopySample(dir, "led_chaser.binary", QString("f%1.binary").arg(i)));
    w->Document().OpenFile(CopySample(other, "led_chaser.binary", "f&12.binary"));
    QCOMPARE(w->RecentFiles().size(), 11);
    QCOMPARE(w->Action(Command::RecentFile1)->text(), QString("&1 f&&12.binary"));
    QCOMPARE(w->Action(Command::RecentFile2)->text(), QString("&2 f12.binary"));
    QCOMPARE(w->Action(Command::RecentFile8)->text(), QString("&8 f6.binary"));
    QVERIFY(w->Action(Command::RecentFile8)->isVisible() && w->Action(Command::RecentFilesSeparator)->isVisible());
    QVERIFY(w->Action(Command::FlushRecentFiles)->isEnabled());

    // An entry opens its full path.
    w->Action(Command::RecentFile4)->trigger();
    QCOMPARE(w->Document().LastFile(), dir.filePath("f10.binary"));
    QCOMPARE(w->RecentFiles().front(), w->Document().LastFile());

    prompt.asked.clear();
    prompt.answers.enqueue(MessageAnswer::No);
    w->Action(Command::FlushRecentFiles)->trigger();
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].text, QString("Are you sure you want to flush the Files Used List ?"));
    QCOMPARE(prompt.asked[0].buttons, MessageButtons::YesNo);
    QCOMPARE(w->RecentFiles().size(), 11);

    store.WriteText("Mru", "5", "/left/over");
    w->Action(Command::FlushRecentFiles)->trigger();
    QVERIFY(w->RecentFiles().isEmpty());
    QCOMPARE(store.ReadText("Mru", "5", "absent"), QString());
    QVERIFY(!w->Action(Command::RecentFile1)->isVisible() && !w->Action(Command::RecentFilesSeparator)->isVisible());
    QVERIFY(!w->Action(Command::FlushRecentFiles)->isEnabled());
    QVERIFY(!w->Document().LastFile().isEmpty());
  }

  void windowScreenshot() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Action(Command::ShowStatusBar)->trigger();
    w->resize(1000, 700);
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
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
