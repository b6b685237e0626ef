// Start-up: switches and helpers, the instance guard and its questions, the
// upgrade notice, and reopening the last image unless the last run crashed.
#include <QPlainTextEdit>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include "instance_guard.h"
#include "window/launch_arguments.h"
#include "brevin/version_text.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

class StartupTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void switchesAndHelpers() {
    QVERIFY(HasSwitch("/view", "/VIEW"));
    QVERIFY(HasSwitch("x /View y", "/VIEW"));
    QVERIFY(HasSwitch("/VIEW/NOLOAD", "/VIEW"));
    QVERIFY(!HasSwitch("/VIEWER", "/VIEW"));
    QVERIFY(HasSwitch("/Viewer", "/VIEWER"));
    QVERIFY(!HasSwitch("/VIEWX", "/VIEW") && !HasSwitch("/VIEWX", "/VIEWER"));
    QVERIFY(!HasSwitch("", "/NOLOAD"));

    QCOMPARE(ChooseStartWindow("brevin", "", false), StartWindow::Disassembler);
    QCOMPARE(ChooseStartWindow("BREVIN", "a /download", false), StartWindow::PortDialog);
    QCOMPARE(ChooseStartWindow("Other", "", false), StartWindow::NamesChanged);
    QCOMPARE(ChooseStartWindow("Other", "", true), StartWindow::PortDialog);
    QCOMPARE(ChooseStartWindow("Other", "/viewer", false), StartWindow::Disassembler);
    QCOMPARE(ChooseStartWindow("Other", "/VIEWX", false), StartWindow::NamesChanged);

    const QList<QPair<int, QString>> ordinals = {{1, "st"},   {2, "nd"},   {3, "rd"},  {4, "th"},  {11, "th"},
                                                  {12, "th"}, {13, "th"},  {21, "st"}, {22, "nd"}, {111, "st"},
                                                  {112, "nd"}, {0, "th"}};
    for (const auto& [n, suffix] : ordinals) QCOMPARE(OrdinalSuffix(n), suffix);

    // A date that turns over between reading the date and the time is read again.
    QList<QDate> dates = {QDate(2024, 12, 31), QDate(2025, 1, 1), QDate(2025, 1, 1)};
    QList<QTime> times = {QTime(23, 59, 59), QTime(0, 0, 0)};
    const QString stamp = DateTimeStamp([&] { return dates.takeFirst(); }, [&] { return times.takeFirst(); });
    QCOMPARE(stamp, QString("2025-01-01 00:00:00"));
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(DateTimeStamp()).hasMatch());

    QCOMPARE(FileNameOf("/a/b/c.eeprom"), QString("c.eeprom"));
    QCOMPARE(FolderOf("/a/b/c.eeprom"), QString("/a/b"));
    QCOMPARE(FolderOf("c.eeprom"), QString());
    QCOMPARE(BaseNameOf("/a.b/c.x.eeprom"), QString("c.x"));
    QVERIFY(!FileExists(""));
    QCOMPARE(LeadingNumber(" 12abc"), 12LL);
    QCOMPARE(LeadingNumber("abc"), 0LL);
  }

  // Run as a program, with no display to open a window on: both print and end.
  void helpAndVersionPrintWithoutAWindow() {
    const QString program = QString(BREVIN_ARTIFACT_DIR) + "/Brevin";
    if (!QFileInfo::exists(program)) QSKIP("the Brevin program is not built");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    const QList<QPair<QString, QString>> runs = {
        {"--version", "Brevin " + QString::fromUtf8(PackageVersion.data(), PackageVersion.size()) + "\n" +
                          ProductTitleText() + " - " + QString::fromStdString(VersionText()) + "\n"},
        {"--help", "Usage: Brevin [IMAGE] [/NOLOAD] [/DOWNLOAD]\n"}};
    for (const auto& [argument, start] : runs) {
      QProcess run;
      run.setProcessEnvironment(environment);
      run.start(program, {"/NOLOAD", argument});
      QVERIFY(run.waitForFinished(10000));
      QCOMPARE(run.exitStatus(), QProcess::NormalExit);
      QCOMPARE(run.exitCode(), 0);
      const QString out = QString::fromUtf8(run.readAllStandardOutput());
      QVERIFY2(out.startsWith(start), qPrintable(out));
      QVERIFY2(out.endsWith("\n") && !out.contains('\r'), qPrintable(out));
    }
    QCOMPARE(InformationText({"--", "--help"}), QString());  // after "--" it would be an image's name
    QCOMPARE(InformationText({"/VIEW", "x.eeprom"}), QString());

    // An unknown option is a usage error before Qt looks for a display (it
    // aborted there); with no display and no platform the program says so.
    const QList<QPair<QStringList, QPair<int, QString>>> failures = {
        {{"--bogus"}, {2, "Brevin: unrecognized option '--bogus'\nTry 'Brevin --help' for more information.\n"}},
        {{"/NOLOAD", "--bogus", "--help"},
         {2, "Brevin: unrecognized option '--bogus'\nTry 'Brevin --help' for more information.\n"}},
        {{"/NOLOAD", "x.eeprom"},
         {1, "Brevin: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); brevin-cli lists "
             "an image without one\n"}}};
    for (const auto& [arguments, expected] : failures) {
      QProcess run;
      run.setProcessEnvironment(environment);
      run.start(program, arguments);
      QVERIFY(run.waitForFinished(10000));
      QCOMPARE(run.exitStatus(), QProcess::NormalExit);
      QCOMPARE(run.exitCode(), expected.first);
      QCOMPARE(QString::fromUtf8(run.readAllStandardError()), expected.second);
      QCOMPARE(run.readAllStandardOutput(), QByteArray());
    }
    QCOMPARE(UsageProblem({"--help", "--bogus"}), QString());  // --help comes first, as getopt reads it
    QCOMPARE(UsageProblem({"--platform", "offscreen", "-style", "x", "--reverse", "/NOLOAD", "--", "--x"}), QString());
    QCOMPARE(UsageProblem({"--version=2"}), QString("option '--version' doesn't allow an argument"));
  }

  void earlierInstallationKeepsItsSettingsName() {
    QCOMPARE(ChooseSettingsAppName(), QString(kSettingsAppName));
    SettingsStore earlier(kEarlierSettingsAppName);
    earlier.WriteText("Setup", "Path", "");
    earlier.Sync();
    QCOMPARE(ChooseSettingsAppName(), QString(kSettingsAppName));
    earlier.WriteText("Setup", "Path", "/old");
    earlier.Sync();
    QCOMPARE(ChooseSettingsAppName(), QString(kEarlierSettingsAppName));
  }

  void instanceGuardSeesOtherInstances() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("x.lock").toStdString();
    {
      platform::InstanceGuard first(path);
      QVERIFY(first.Held() && !first.OthersRunning());
      platform::InstanceGuard second(path);
      QVERIFY(second.Held() && second.OthersRunning());
    }
    platform::InstanceGuard again(path);
    QVERIFY(!again.OthersRunning());
  }

  void firstStartShowsTheUpgradeNoticeOnce() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    {
      auto w = LoadWindow(store);
      QVERIFY(w != nullptr && w->isVisible() && w->Loaded());
      QCOMPARE(prompt.asked.size(), 1);
      QCOMPARE(prompt.asked[0].title, ProductTitleText() + " - Version 1.03 #0101");
      QVERIFY(prompt.asked[0].text.startsWith("Congratulations on upgrading to " + ProductTitleText() + " - Version"));
      QCOMPARE(store.ReadText("Setup", "Version"), QString("Version 1.03 #0101"));
      QCOMPARE(store.ReadText("Setup", "Path"), QString("/opt/brevin"));
      QCOMPARE(store.ReadText("Setup", "Installed").size(), 19);
      QVERIFY(store.Contains("Debug Opc", "Flag"));
      w->close();
    }
    prompt.asked.clear();
    auto again = LoadWindow(store);
    QCOMPARE(prompt.asked.size(), 0);
  }

  void additionalInstancesAskOnce() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    LoadWindow(store).reset();  // a first run: the notice is out of the way
    const std::string lock = platform::InstanceLockPath(store.FileName().toStdString());
    platform::InstanceGuard running(lock);  // the first instance, still running

    prompt.asked.clear();
    prompt.answers.enqueue(MessageAnswer::No);
    QVERIFY(LoadWindow(store) == nullptr);
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].title, "Run 2nd Instance of " + ProductTitleText() + " ?");
    QCOMPARE(prompt.asked[0].text, "Do you really want to run 2 instances of the " + ProductTitleText() + " ?");
    QCOMPARE(prompt.asked[0].defaultAnswer, MessageAnswer::No);
    QCOMPARE(store.ReadText("Setup", "Blocked"), QString("No"));
    QCOMPARE(store.ReadText("Setup", "Instances"), QString("1"));

    prompt.answers.enqueue(MessageAnswer::Yes);
    QVERIFY(LoadWindow(store) != nullptr);
    QCOMPARE(store.ReadText("Setup", "MaxInstances"), QString("2"));
    QCOMPARE(store.ReadText("Setup", "Instances"), QString("2"));

    // With 2 accepted before, a later second instance is not asked.
    store.WriteText("Setup", "Instances", "1");
    prompt.asked.clear();
    QVERIFY(LoadWindow(store) != nullptr);
    QCOMPARE(prompt.asked.size(), 0);

    store.WriteText("Setup", "Instances", "11");
    prompt.answers.enqueue(MessageAnswer::No);
    QVERIFY(LoadWindow(store) == nullptr);
    QVERIFY(prompt.asked.last().title.startsWith("Run 12th Instance of "));
    store.WriteText("Setup", "Instances", "21x");
    prompt.answers.enqueue(MessageAnswer::No);
    QVERIFY(LoadWindow(store) == nullptr);
    QVERIFY(prompt.asked.last().title.startsWith("Run 22nd Instance of "));

    // While another instance is deciding, a new one ends silently.
    store.WriteText("Setup", "Blocked", "Yes");
    prompt.asked.clear();
    QVERIFY(LoadWindow(store) == nullptr);
    QCOMPARE(prompt.asked.size(), 0);
    QCOMPARE(store.ReadText("Setup", "Blocked"), QString("Yes"));

    // A relaunch counts as a first instance.
    Process().CommandLine = "/RELAUNCH:WINXP";
    QVERIFY(LoadWindow(store) != nullptr);
    QCOMPARE(store.ReadText("Setup", "Blocked"), QString("No"));
    QCOMPARE(store.ReadText("Setup", "Instances"), QString("1"));
  }

  void closingWhileStartingEndsTheStartUp() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    LoadWindow(store).reset();
    store.WriteText("Mru", "LastFile", SamplePath("led_chaser.eeprom"));
    MainWindow w(store);
    QTimer::singleShot(0, &w, [&w] { w.close(); });  // arrives while the load lets events run
    QVERIFY(!w.Start());
    QVERIFY(w.Closing());
    QCOMPARE(store.ReadText("Setup", "Crashed"), QString("False"));  // a normal exit, not a crash
    QVERIFY(w.Listing()->toPlainText().isEmpty());
  }

  void lastImageReopensUnlessTheLastRunCrashed() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    LoadWindow(store).reset();
    const QString image = SamplePath("led_chaser.eeprom");
    store.WriteText("Mru", "LastFile", image);
    store.WriteText("Setup", "Crashed", "True");
    {
      auto w = LoadWindow(store);
      QVERIFY(w->Listing()->toPlainText().isEmpty());
      QCOMPARE(w->Document().LastFile(), image);
      QCOMPARE(store.ReadText("Setup", "Crashed"), QString("True"));
      w->close();  // a normal exit clears the flag
    }
    QCOMPARE(store.ReadText("Setup", "Crashed"), QString("False"));
    {
      auto w = LoadWindow(store);
      QVERIFY(!w->Listing()->toPlainText().isEmpty());
      QCOMPARE(store.ReadText("Setup", "Crashed"), QString("True"));
      w->close();
    }
    Process().CommandLine = "/noload";
    store.WriteBool("Settings", "FoldIndexes", true);
    {
      auto w = LoadWindow(store);
      QVERIFY(w->Listing()->toPlainText().isEmpty());
      QVERIFY(w->Action(Command::FoldIndexes)->isChecked());
      w->close();
    }
    Process().CommandLine.clear();
    store.WriteBool("Settings", "ReloadAtStart", false);
    store.WriteBool("Settings", "AutoReload", true);
    auto w = LoadWindow(store);
    QVERIFY(w->Listing()->toPlainText().isEmpty());
    QVERIFY(!w->Document().ReloadTimer().isActive());
    w->Document().OpenFile(image);
    QVERIFY(w->Document().ReloadTimer().isActive());
  }
};

int RunStartupTests(int argc, char** argv) {
  StartupTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "startup_test.moc"
