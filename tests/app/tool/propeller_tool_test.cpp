// The Propeller Tool integration: Open From with and without a known
// installation, the two manuals, and telling whether the tool runs.
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <unistd.h>

#include "dialogs/file_search_dialog.h"
#include "propeller_tool.h"
#include "tool/propeller_tool_install.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {


// Presses a button of the open wizard once it is idle (the search done).
void PressWhenDone(const char* button) {
  auto* poll = new QTimer;
  poll->setInterval(1);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, button] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* wizard = qobject_cast<FileSearchDialog*>(top);
      if (wizard == nullptr || !wizard->isVisible() || !wizard->Done()) continue;
      wizard->findChild<QPushButton*>(button)->click();
      poll->deleteLater();
      return;
    }
  });
  poll->start();
}

}  // namespace

class PropellerToolTests : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    FreshProcess();
    tree_.reset(new QTemporaryDir);
    root_ = QFileInfo(tree_->path()).canonicalFilePath();
    SetSearchRootsFunction([this] { return QStringList{root_ + "/disk"}; });
    SetDocumentOpener([this](const QString& path) { opened_ << path; });
    opened_.clear();
  }
  void cleanup() {
    SetSearchRootsFunction({});
    SetDocumentOpener({});
  }

  void openFromSearchesOnceThenRemembers() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    QStringList folders;
    w->Document().OpenChooser() = [&folders](const QString&, const QString& folder, const QString& name, const QString&) {
      folders << folder + "|" + name;
      return QString();
    };
    // The program sits in <root>/Tool/bin: the search starts in <root>/Tool,
    // which holds the tool under an upper-case name.
    Process().AppFolder = root_ + "/Tool/bin/";
    Touch(root_ + "/Tool/PROPELLER.EXE");
    QDir().mkpath(root_ + "/Tool/examples/LIBRARY");
    PressWhenDone("okayButton");
    w->Action(Command::OpenFromDemo)->trigger();
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].title, QString("Searching for Propeller Library Files - Demos"));
    QCOMPARE(w->Tool().folder, root_ + "/Tool");
    QCOMPARE(folders, QStringList({root_ + "/Tool/examples/LIBRARY|"}));
    QVERIFY(w->isEnabled());

    // Known now: straight to the open dialog, no question; and stored at exit.
    w->Action(Command::OpenFromLibrary)->trigger();
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(folders.last(), root_ + "/Tool|");
    w->close();
    QCOMPARE(store.ReadText("PropTool", "Path"), root_ + "/Tool");
  }

  void openFromWithoutTheTool() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    w->Tool().folder = root_ + "/gone";  // a folder that no longer holds the tool
    Process().AppFolder = root_ + "/bin/";
    bool chooserShown = false;
    w->Document().OpenChooser() = [&chooserShown](const QString&, const QString&, const QString&, const QString&) {
      chooserShown = true;
      return QString();
    };
    PressWhenDone("cancelButton");
    w->Action(Command::OpenFromExamples)->trigger();
    QVERIFY(!chooserShown);
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].text, QString("Cannot find the Propeller Manual - Examples"));
    QCOMPARE(w->Tool().folder, root_ + "/gone");
  }

  void manualsAreFoundAndOpened() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    Touch(root_ + "/disk/Parallax/Propeller Tool/propeller quick reference v1.6.PDF");
    Touch(root_ + "/disk/Parallax/Propeller Tool/Propeller Manual v1.2.pdf");

    // Quick Reference with both paths empty: a search, a confirmed folder, the PDF opened.
    PressWhenDone("okayButton");
    w->Action(Command::PropellerQuickReference)->trigger();
    const QString quick = root_ + "/disk/Parallax/Propeller Tool/propeller quick reference v1.6.PDF";
    QCOMPARE(w->Tool().quickReference, quick);
    QCOMPARE(opened_, QStringList({quick}));

    // The Manual's search starts beside the Quick Reference: one question, Yes.
    PressWhenDone("okayButton");
    w->Action(Command::PropellerManual)->trigger();
    QCOMPARE(prompt.asked.size(), 2);
    QCOMPARE(prompt.asked[1].buttons, MessageButtons::YesNo);
    QCOMPARE(opened_.last(), root_ + "/disk/Parallax/Propeller Tool/Propeller Manual v1.2.pdf");

    // Both known: opened directly.
    w->Action(Command::PropellerManual)->trigger();
    QCOMPARE(prompt.asked.size(), 2);
    QCOMPARE(opened_.size(), 3);

    if (geteuid() != 0) {  // permissions do not bind the super-user
      QVERIFY(QFile::setPermissions(w->Tool().manual, QFileDevice::Permissions()));
      w->Action(Command::PropellerManual)->trigger();
      QCOMPARE(opened_.size(), 3);
      QVERIFY(prompt.asked.last().text.startsWith("Cannot read Propeller Manual\r\n\r\n" + w->Tool().manual));
    }
  }

  void manualNotLocated() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    PressWhenDone("cancelButton");
    w->Action(Command::PropellerQuickReference)->trigger();
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].text, QString("Cannot locate Propeller Quick Reference"));

    w->Tool().manual = root_ + "/old/Propeller Manual v1.0.pdf";
    PressWhenDone("cancelButton");
    w->Action(Command::PropellerManual)->trigger();
    QCOMPARE(prompt.asked.last().text, "Cannot locate Propeller Manual\r\n\r\n" + root_ + "/old/Propeller Manual v1.0.pdf");
    QVERIFY(opened_.isEmpty());
  }

  void toolRunningFromTheProcessTable() {
    using platform::CommandLineNamesPropellerTool;
    QVERIFY(CommandLineNamesPropellerTool(std::string("C:\\Program Files\\Parallax\\PROPELLER.EXE\0", 41)));
    QVERIFY(CommandLineNamesPropellerTool(std::string("wine\0/home/u/.wine/drive_c/Propeller.exe\0-x\0", 44)));
    QVERIFY(CommandLineNamesPropellerTool("propeller.exe"));
    QVERIFY(!CommandLineNamesPropellerTool(std::string("vi\0propeller.exe.txt\0", 21)));
    QVERIFY(!CommandLineNamesPropellerTool(std::string("/usr/bin/propeller\0", 19)));
    QVERIFY(!CommandLineNamesPropellerTool(""));

    const QString proc = root_ + "/proc";
    const auto write = [&proc](const QString& entry, const QByteArray& cmdline) {
      QDir().mkpath(proc + "/" + entry);
      QFile file(proc + "/" + entry + "/cmdline");
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(cmdline);
    };
    write("1", QByteArray("/sbin/init\0", 11));
    QDir().mkpath(proc + "/2");  // a process that ended while the table was read
    write("self", QByteArray("Propeller.exe\0", 14));  // not a process number
    QVERIFY(!platform::PropellerToolRunning(Native(proc)));
    write("4711", QByteArray("wine\0C:\\Parallax\\Propeller.exe\0", 31));
    QVERIFY(platform::PropellerToolRunning(Native(proc)));
    QVERIFY(!platform::PropellerToolRunning(Native(root_ + "/no-proc")));
  }

 private:
  static std::string Native(const QString& path) { return QFile::encodeName(path).toStdString(); }

  std::unique_ptr<QTemporaryDir> tree_;
  QString root_;
  QStringList opened_;
};

int RunPropellerToolTests(int argc, char** argv) {
  PropellerToolTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "propeller_tool_test.moc"
