// The file search: wildcard matching, the roots on this platform, the walk's
// order and limits on a folder tree of the test's own, and the wizard's states.
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "tool/file_search.h"
#include "dialogs/file_search_dialog.h"
#include "mounts.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {


std::string Native(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The folders the walk enters, in order, until it ends.
QStringList Walk(FolderSearch& search) {
  QStringList entered;
  search.onFolder = [&entered](const std::string& folder) { entered << QString::fromStdString(folder); };
  for (int steps = 0; steps < 100000 && search.Step(7); ++steps) {
  }
  return entered;
}

}  // namespace

class FileSearchTests : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    FreshProcess();
    tree_.reset(new QTemporaryDir);
    // Canonical, so the paths the walk reports compare equal.
    root_ = QFileInfo(tree_->path()).canonicalFilePath();
  }
  void cleanup() { SetSearchRootsFunction({}); }

  void wildcards() {
    QVERIFY(WildcardMatch("propeller.exe", "Propeller.EXE"));
    QVERIFY(!WildcardMatch("propeller.exe", "Propeller.exe.bak"));
    QVERIFY(WildcardMatch("Propeller Manual v*.pdf", "propeller manual v1.2.PDF"));
    QVERIFY(WildcardMatch("Propeller Manual v*.pdf", "Propeller Manual v.pdf"));
    QVERIFY(!WildcardMatch("Propeller Manual v*.pdf", "Propeller Manual 1.2.pdf"));
    QVERIFY(WildcardMatch("a*b*c", "aXbYbZc") && !WildcardMatch("a*b*c", "aXbYbZ"));
    QVERIFY(WildcardMatch("?.spin", "x.spin") && !WildcardMatch("?.spin", "xy.spin"));
  }

  void rootsOnThisPlatform() {
    QDir().mkpath(root_ + "/prefix/drive_c");
    QDir().mkpath(root_ + "/home/.wine/drive_c");
    const std::string mounts =
        "proc /proc proc rw 0 0\n"
        "/dev/sda1 / ext4 rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "/dev/sdb1 /media/My\\040Disk vfat rw 0 0\n"
        "/dev/sdc1 /data xfs rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "/dev/sdc1 /data xfs rw 0 0\n";
    const auto ordered = platform::OrderedMountPoints(mounts, "/data/bin/Brevin", "/media/My Disk/work");
    QCOMPARE(ordered, (std::vector<std::string>{"/data", "/media/My Disk", "/"}));
    QCOMPARE(platform::MountPointOf({"/", "/data"}, "/database/x"), std::string("/"));

    const auto roots = platform::SearchRoots(Native(root_ + "/prefix/"), Native(root_ + "/home"), mounts,
                                             "/usr/bin/Brevin", "/data");
    // Folders that do not exist (the example mount points) are left out.
    const std::vector<std::string> expected = {Native(root_ + "/prefix/drive_c"),
                                               Native(root_ + "/home/.wine/drive_c"), Native(root_ + "/home"),
                                               "/"};
    QCOMPARE(roots, expected);
  }

  void walkOrderAndLimits() {
    // Roots: Wine's C: drive, a home folder, a "disk". The disk holds the home
    // folder too, which is searched once only.
    Touch(root_ + "/disk/home/hidden/.cache/Propeller.exe");
    Touch(root_ + "/disk/home/zeta/notes.txt");
    Touch(root_ + "/disk/home/Alpha/PROPELLER.EXE");
    Touch(root_ + "/disk/.snapshot/Propeller.exe");
    Touch(root_ + "/disk/Beta/propeller.exe");
    Touch(root_ + "/wine/drive_c/Program Files/Parallax/Propeller.exe");
    QVERIFY(QFile::link(root_ + "/disk", root_ + "/disk/Beta/loop"));         // a link back up: never followed
    QVERIFY(QFile::link(root_ + "/disk/Beta/propeller.exe", root_ + "/disk/home/zeta/propeller.exe"));

    FolderSearch search("propeller.exe", {Native(root_ + "/wine/drive_c"), Native(root_ + "/disk/home"),
                                          Native(root_ + "/disk"), Native(root_ + "/missing")});
    QStringList asked;
    search.onMatch = [&asked](const std::string& folder) {
      asked << QString::fromStdString(folder);
      return FolderSearch::Decision::Continue;
    };
    const QStringList entered = Walk(search);
    QVERIFY(search.Ended() && !search.Found() && !search.Aborted());
    QCOMPARE(asked, QStringList({root_ + "/wine/drive_c/Program Files/Parallax", root_ + "/disk/home/Alpha",
                                 root_ + "/disk/home/zeta", root_ + "/disk/Beta"}));
    QCOMPARE(entered, QStringList({root_ + "/wine/drive_c", root_ + "/wine/drive_c/Program Files",
                                   root_ + "/wine/drive_c/Program Files/Parallax", root_ + "/disk/home",
                                   root_ + "/disk/home/Alpha", root_ + "/disk/home/hidden", root_ + "/disk/home/zeta",
                                   root_ + "/disk", root_ + "/disk/Beta"}));
  }

  void walkStopsAtTheAnswer() {
    Touch(root_ + "/a/propeller.exe");
    Touch(root_ + "/b/propeller.exe");
    FolderSearch found("propeller.exe", {Native(root_)});
    found.onMatch = [](const std::string&) { return FolderSearch::Decision::Found; };
    Walk(found);
    QVERIFY(found.Found());
    QCOMPARE(QString::fromStdString(found.FoundFolder()), root_ + "/a");

    FolderSearch aborted("propeller.exe", {Native(root_)});
    aborted.onMatch = [](const std::string&) { return FolderSearch::Decision::Abort; };
    const QStringList entered = Walk(aborted);
    QVERIFY(aborted.Aborted() && !aborted.Found());
    QVERIFY(!entered.contains(root_ + "/b"));
    QCOMPARE(FirstMatchingFile(Native(root_ + "/a"), "PROPELLER.EXE"), std::string("propeller.exe"));
  }

  void startFolderIsAskedFirst() {
    ScriptedPrompt prompt;
    Touch(root_ + "/tool/Propeller.exe");
    Touch(root_ + "/disk/other/Propeller.exe");
    SetSearchRootsFunction([this] { return QStringList{root_ + "/disk"}; });

    // Yes: found at once, no disk search.
    FileSearchDialog yes("Propeller Library Files", "propeller.exe", root_ + "/tool/Brevin");
    QCOMPARE(yes.windowTitle(), QString("Integration Wizard"));
    QCOMPARE(yes.objectName(), QString("frmFindFile"));
    QCOMPARE(yes.actionLabel->text(), QString("Searching for ...."));
    yes.Load();
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].title, QString("Searching for Propeller Library Files"));
    QCOMPARE(prompt.asked[0].text, "Is this the installation directory of the Propeller Library Files you want to "
                                   "use ?\r\n\r\n" + root_ + "/tool");
    QCOMPARE(prompt.asked[0].buttons, MessageButtons::YesNo);
    QVERIFY(yes.Done() && yes.okayButton->isEnabled() && yes.searchButton->isEnabled());
    QCOMPARE(yes.actionLabel->text(), QString("Propeller Library Files found in ..."));
    QCOMPARE(yes.cancelButton->text(), QString("&Cancel"));
    QVERIFY(!yes.Step());
    yes.okayButton->click();
    QCOMPARE(yes.FoundPath(), root_ + "/tool/Propeller.exe");
    QVERIFY(!yes.Busy());

    // No: the disk search starts and asks with Cancel offered.
    prompt.asked.clear();
    prompt.answers.clear();
    prompt.answers.enqueue(MessageAnswer::No);
    prompt.answers.enqueue(MessageAnswer::Yes);
    FileSearchDialog no("Propeller Library Files", "propeller.exe", root_ + "/tool/Brevin");
    no.Load();
    QCOMPARE(no.cancelButton->text(), QString("&Stop"));
    QVERIFY(!no.okayButton->isEnabled() && !no.searchButton->isEnabled());
    while (no.Step()) {
    }
    QCOMPARE(prompt.asked.size(), 2);
    QCOMPARE(prompt.asked[1].buttons, MessageButtons::YesNoCancel);
    QCOMPARE(no.statusLabel->text(), root_ + "/disk/other");
    QVERIFY(no.Done() && no.okayButton->isEnabled());
    QCOMPARE(no.cancelButton->text(), QString("&Cancel"));
  }

  void notFoundAbortedAndStopped() {
    ScriptedPrompt prompt;
    for (int i = 0; i < 40; ++i) Touch(root_ + QString("/disk/d%1/e/f/readme.txt").arg(i));
    Touch(root_ + "/disk/d7/Propeller.exe");
    SetSearchRootsFunction([this] { return QStringList{root_ + "/disk"}; });

    // No to every question: "Not found !" in bold red.
    prompt.answers.clear();
    prompt.answers.enqueue(MessageAnswer::No);
    FileSearchDialog none("Propeller Manual", "propeller.exe", QString());
    none.Load();
    QVERIFY(prompt.asked.isEmpty());  // no start folder, no question before the search
    while (none.Step()) {
    }
    QCOMPARE(none.statusLabel->text(), QString("Not found !"));
    QVERIFY(none.statusLabel->font().bold());
    QCOMPARE(none.statusLabel->palette().color(QPalette::WindowText), QColor(Qt::red));
    QVERIFY(!none.okayButton->isEnabled() && none.searchButton->isEnabled());

    // Search again, and Cancel in the question: "Aborted".
    prompt.answers.clear();
    prompt.answers.enqueue(MessageAnswer::Cancel);
    none.searchButton->click();
    QVERIFY(!none.statusLabel->font().bold());
    while (none.Step()) {
    }
    QCOMPARE(none.statusLabel->text(), QString("Aborted"));

    // Stop ends a running walk at once, before its next slice; the frame
    // and Escape cannot close the dialog meanwhile.
    FileSearchDialog stopped("Propeller Manual", "nothing.here", QString());
    stopped.show();
    stopped.Load();
    QVERIFY(!stopped.Done());
    stopped.close();
    QVERIFY(stopped.isVisible() && stopped.Busy());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&stopped, &escape);
    QVERIFY(stopped.isVisible());
    stopped.cancelButton->click();
    QVERIFY(stopped.Done());
    QCOMPARE(stopped.statusLabel->text(), QString("Aborted"));
    QVERIFY(!stopped.Step());
    stopped.close();  // done: the frame closes it, with no result
    QVERIFY(!stopped.isVisible() && !stopped.Busy());
    QVERIFY(stopped.FoundPath().isEmpty());
  }

  void wizardScreenshot() {
    ScriptedPrompt prompt;
    prompt.answers.clear();
    prompt.answers.enqueue(MessageAnswer::No);
    Touch(root_ + "/disk/Parallax/Propeller.exe");
    SetSearchRootsFunction([this] { return QStringList{root_ + "/disk"}; });
    FileSearchDialog dialog("Propeller Library Files", "propeller.exe", QString());
    dialog.show();
    dialog.Load();
    while (dialog.Step()) {
    }
    const QString png = QString(BREVIN_ARTIFACT_DIR) + "/brevin-integration-wizard.png";
    QVERIFY(dialog.grab().save(png));
  }

 private:
  std::unique_ptr<QTemporaryDir> tree_;
  QString root_;
};

int RunFileSearchTests(int argc, char** argv) {
  FileSearchTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "file_search_test.moc"
