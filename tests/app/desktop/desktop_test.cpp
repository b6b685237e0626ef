// The desktop side of the window: an image named on the command line, dropped
// files, the standard shortcuts and zoom, recent-file tool-tips, the icons and
// a restored window that stays on the screen.
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include "desktop/desktop_icons.h"
#include "window/launch_arguments.h"
#include "listing/listing_zoom.h"
#include "test_support.h"
#include "window/window_placement.h"

using namespace brevin;
using namespace brevin::test;

namespace {

// Drags the files onto the widget and drops them, as a file manager does.
bool DropFiles(QWidget* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
  QCoreApplication::processEvents();  // the file opens after the drop event
  return drop.isAccepted();
}

// The mean alpha of the icon's pixmap in a mode: how strongly it shows.
double Presence(const QIcon& icon, QIcon::Mode mode) {
  const QImage image = icon.pixmap(QSize(16, 16), 1.0, mode).toImage().convertToFormat(QImage::Format_ARGB32);
  double sum = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) sum += qAlpha(image.pixel(x, y));
  }
  return sum / (image.width() * image.height());
}

}  // namespace

class DesktopTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void commandLineSplitsTheImageFromTheSwitches() {
    QTemporaryDir dir;
    const QString image = CopySample(dir, "led_chaser.eeprom", "demo.eeprom");
    LaunchArguments a = SplitLaunchArguments({"/noload", image, "/View"}, "/");
    QCOMPARE(a.imagePath, image);
    QCOMPARE(a.commandLine, QString("/noload /View"));
    // A relative name is taken from the current folder; only the first image counts.
    a = SplitLaunchArguments({"demo.eeprom", "other.eeprom"}, dir.path());
    QCOMPARE(a.imagePath, image);
    QCOMPARE(a.commandLine, QString("other.eeprom"));
    // A path through a folder named like a switch is an image, not a switch.
    a = SplitLaunchArguments({"/home/me/Download/x.eeprom"}, "/");
    QCOMPARE(a.imagePath, QString("/home/me/Download/x.eeprom"));
    QVERIFY(!HasSwitch(a.commandLine, "/DOWNLOAD"));
    QCOMPARE(ChooseStartWindow("Brevin", a.commandLine, false), StartWindow::Disassembler);
    a = SplitLaunchArguments({"/DOWNLOAD", "/RELAUNCH:WINXP"}, "/");
    QVERIFY(a.imagePath.isEmpty());
    QCOMPARE(ChooseStartWindow("Brevin", a.commandLine, false), StartWindow::PortDialog);
  }

  void imageOnTheCommandLineOpensInsteadOfTheLastOne() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    LoadWindow(store).reset();
    QTemporaryDir dir;
    const QString image = CopySample(dir, "crc_calc.eeprom", "given.eeprom");
    store.WriteText("Mru", "LastFile", SamplePath("led_chaser.eeprom"));
    store.WriteText("Setup", "Crashed", "True");  // even after a crash: the user asked for this file
    Process().ImagePath = image;
    auto w = LoadWindow(store);
    QVERIFY(w != nullptr);
    QCOMPARE(w->Document().LastFile(), image);
    QVERIFY(w->Listing()->toPlainText().contains("Disassembly of " + image));
    QCOMPARE(w->RecentFiles().value(0), image);
    w->close();

    // A missing file: the usual message, and the window still opens.
    Process().ImagePath = dir.filePath("gone.eeprom");
    w = LoadWindow(store);
    QVERIFY(w != nullptr && w->isVisible());
    QCOMPARE(prompt.Count("Cannot find file\r\n\r\n" + dir.filePath("gone.eeprom")), 1);
    QCOMPARE(w->Document().LastFile(), image);
    w->close();

    // A Spin source gets the Open dialog's refusal.
    Process().ImagePath = SamplePath("led_chaser.spin");
    w = LoadWindow(store);
    QCOMPARE(prompt.Count("Sorry - Cannot compile Spin source files"), 1);
    w->close();
  }

  void droppedFileOpens() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir dir;
    const QString first = CopySample(dir, "led_chaser.eeprom", "first.eeprom");
    const QString second = CopySample(dir, "crc_calc.eeprom", "second.eeprom");

    // Onto the listing area, which is read-only and would refuse it by itself.
    QVERIFY(DropFiles(w->Listing()->viewport(), {first}));
    QCOMPARE(w->Document().LastFile(), first);
    QVERIFY(w->Listing()->toPlainText().contains("Disassembly of " + first));

    // Several files: the first opens, the status bar says so.
    w->statusBar()->show();
    QVERIFY(DropFiles(w.get(), {second, first}));
    QCOMPARE(w->Document().LastFile(), second);
    QCOMPARE(w->statusBar()->currentMessage(), QString("2 files dropped: opened the first, second.eeprom"));

    // A folder or a Spin source: the usual refusals, the listing stays.
    QVERIFY(DropFiles(w.get(), {dir.path()}));
    QCOMPARE(prompt.Count("Cannot find file\r\n\r\n" + dir.path()), 1);
    QVERIFY(DropFiles(w.get(), {SamplePath("led_chaser.spin")}));
    QCOMPARE(prompt.Count("Sorry - Cannot compile Spin source files"), 1);
    QCOMPARE(w->Document().LastFile(), second);

    // Something that is not a local file is not taken.
    QMimeData text;
    text.setText("hello");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(w.get(), &enter);
    QVERIFY(!enter.isAccepted());
    w->close();
  }

  void standardShortcutsAndZoom() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QCOMPARE(w->Action(Command::Open)->shortcut(), QKeySequence(QKeySequence::Open));
    QCOMPARE(w->Action(Command::Save)->shortcut(), QKeySequence(QKeySequence::Save));
    QCOMPARE(w->Action(Command::Print)->shortcut(), QKeySequence(QKeySequence::Print));
    QCOMPARE(w->Action(Command::Exit)->shortcut(), QKeySequence("Ctrl+Q"));  // Quit's binding on Linux desktops
    QCOMPARE(w->Action(Command::Refresh)->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(w->Action(Command::Open)->text(), QString("&Open ..."));  // captions unchanged

    QCOMPARE(NextZoomSize(8.25, +1), 9.0);
    QCOMPARE(NextZoomSize(8.25, -1), 8.0);
    QCOMPARE(NextZoomSize(8.5, -1), 8.25);
    QCOMPARE(NextZoomSize(72, +1), 72.0);
    QCOMPARE(NextZoomSize(6, -1), 6.0);

    auto* zoomIn = w->findChild<QAction*>("ZoomIn");
    auto* zoomOut = w->findChild<QAction*>("ZoomOut");
    auto* zoomReset = w->findChild<QAction*>("ZoomReset");
    QVERIFY(zoomIn && zoomOut && zoomReset);
    QVERIFY(zoomIn->shortcuts().contains(QKeySequence(QKeySequence::ZoomIn)));
    QCOMPARE(zoomReset->shortcut(), QKeySequence("Ctrl+0"));
    // The keys themselves reach the actions from the listing area.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w->Listing(), Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(w->Listing()->font().pointSizeF(), 9.0);
    QTest::keyClick(w->Listing(), Qt::Key_F5);  // Refresh without an image: its warning
    QCOMPARE(prompt.Count("Cannot find "), 1);
    zoomIn->trigger();
    QCOMPARE(w->Listing()->font().pointSizeF(), 10.0);
    w->close();
    QCOMPARE(store.ReadDouble("Font", "Size", 0), 10.0);  // the zoomed size is the stored font size

    w = LoadWindow(store);
    QCOMPARE(w->Listing()->font().pointSizeF(), 10.0);
    w->findChild<QAction*>("ZoomOut")->trigger();
    QCOMPARE(w->Listing()->font().pointSizeF(), 9.0);
    w->findChild<QAction*>("ZoomReset")->trigger();
    QCOMPARE(w->Listing()->font().pointSizeF(), kDesignListingSize);
    w->close();
  }

  void recentFilesShowTheirFullPath() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QTemporaryDir a, b;
    const QString one = CopySample(a, "led_chaser.eeprom", "demo.eeprom");
    const QString two = CopySample(b, "crc_calc.eeprom", "demo.eeprom");
    w->Document().OpenFile(one);
    w->Document().OpenFile(two);
    QCOMPARE(w->Action(Command::RecentFile1)->text().mid(3), w->Action(Command::RecentFile2)->text().mid(3));
    QCOMPARE(w->Action(Command::RecentFile1)->toolTip(), two);
    QCOMPARE(w->Action(Command::RecentFile2)->toolTip(), one);
    QVERIFY(w->Action(Command::FileMenu)->menu()->toolTipsVisible());
    w->close();
  }

  void ownIconsWithDimmedDisabledStates() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QVERIFY(!w->windowIcon().isNull());
    QVERIFY(!ApplicationIcon().isNull());
    int buttons = 0;
    for (QAction* button : w->ToolBar()->actions()) {
      if (button->isSeparator()) continue;
      ++buttons;
      QVERIFY2(QFile::exists(ToolbarIconPath(button->toolTip())), qPrintable(button->toolTip()));
      const QIcon icon = button->icon();
      QVERIFY2(!icon.isNull(), qPrintable(button->toolTip()));
      const double normal = Presence(icon, QIcon::Normal);
      const double disabled = Presence(icon, QIcon::Disabled);
      QVERIFY2(normal > 20, qPrintable(button->toolTip()));
      QVERIFY2(disabled < normal * 0.5, qPrintable(button->toolTip()));
    }
    QCOMPARE(buttons, 10);  // the eight commands, then Back and Forward
    QVERIFY(ToolbarIcon("NoSuchButton").isNull());
    // A look at the toolbar with some buttons disabled, for a person to check.
    w->show();
    QCoreApplication::processEvents();
    QVERIFY(w->ToolBar()->grab().save(QString(BREVIN_ARTIFACT_DIR) + "/brevin-toolbar.png"));
    w->close();
  }

  void windowIsFittedIntoTheScreen() {
    const QRect area(0, 0, 853, 600);  // 1280 x 900 at scale factor 1.5
    const QMargins frame(4, 30, 4, 4);
    QCOMPARE(FitIntoArea(QRect(100, 100, 1440, 1020), area, frame), QRect(0, 0, 845, 566));
    QCOMPARE(FitIntoArea(QRect(700, 500, 400, 300), area, frame), QRect(445, 266, 400, 300));
    QCOMPARE(FitIntoArea(QRect(-3000, -50, 400, 300), area, frame), QRect(0, 0, 400, 300));
    QCOMPARE(FitIntoArea(QRect(10, 20, 400, 300), area, frame), QRect(10, 20, 400, 300));
    const QRect other(1920, 0, 1280, 1024);  // a second screen to the right
    QCOMPARE(FitIntoArea(QRect(2000, 100, 800, 600), other, frame), QRect(2000, 100, 800, 600));

    // A stored place far larger than the screen and off it comes back inside.
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    LoadWindow(store).reset();
    for (const char* key : {"Top", "Left"}) store.WriteInt("Window", key, -90000);
    for (const char* key : {"Height", "Width"}) store.WriteInt("Window", key, 900000);
    auto w = LoadWindow(store);
    const QRect available = w->screen()->availableGeometry();
    QVERIFY2(available.contains(w->frameGeometry()), qPrintable(QString("%1,%2 %3x%4 in %5x%6")
                                                                  .arg(w->x())
                                                                  .arg(w->y())
                                                                  .arg(w->width())
                                                                  .arg(w->height())
                                                                  .arg(available.width())
                                                                  .arg(available.height())));
    QVERIFY(w->width() > available.width() / 2);  // still as large as fits
    w->close();
  }
};

int RunDesktopTests(int argc, char** argv) {
  DesktopTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "desktop_test.moc"
