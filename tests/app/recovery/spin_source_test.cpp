// The "Spin Source" dock and File > Export Spin Source over a hand-made project
// laid on the objects of adc_scope: a click on a statement goes to its first
// bytecode line, the caret marks its statement, the recovery runs once per
// listing and only when needed, the export writes every file or none, and the
// dock and the folder are remembered.
#include <QDockWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

#include "listing/listing_navigator.h"
#include "recovery/spin_source_controller.h"
#include "recovery/spin_source_highlighter.h"
#include "recovery/spin_source_view.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

// The addressed lines of the listing in [from, to), in listing order.
std::vector<std::int32_t> AddressesIn(const Analysis& a, std::int32_t from, std::int32_t to) {
  std::vector<std::int32_t> found;
  for (const ListingLine& line : a.lines) {
    if (line.address && *line.address >= from && *line.address < to &&
        (found.empty() || found.back() != *line.address)) {
      found.push_back(*line.address);
    }
  }
  return found;
}

// The top object as "top.spin": its first two methods, the first with two
// statements at its first two instruction addresses and a third at the same
// offset as the second (a loop and its first statement), the second with one.
// The first sub-object as "child.spin" with one statement.
//
//   0 ' hand-made           5                     8 PUB inner
//   1 PUB first             6 PUB second          9   fourth
//   2   one                 7   third
//   3   repeat
//   4     two
struct Layout {
  std::int32_t top = 0, topSize = 0, child = 0, childSize = 0;
  std::int32_t first = 0, firstNext = 0, second = 0, inner = 0;
};

Layout LayOut(const Analysis& a) {
  Layout l;
  l.top = a.objects[0].address;
  l.child = a.objects[1].address;
  l.topSize = l.child - l.top;
  l.childSize = a.objects[2].address - l.child;
  l.first = a.objects[0].methods[0].address;
  l.second = a.objects[0].methods[1].address;
  l.firstNext = AddressesIn(a, l.first + 1, l.second).front();
  l.inner = a.objects[1].methods[0].address;
  return l;
}

SpinSourceProject HandMade(const Layout& l, bool exact = true) {
  SpinSourceProject p;
  SpinSourceFile top;
  top.name = "top.spin";
  top.text = "' hand-made\nPUB first\n  one\n  repeat\n    two\n\nPUB second\n  third\n";
  top.instances = {{l.top, l.topSize}};
  top.marks = {{2, l.first - l.top}, {3, l.firstNext - l.top}, {4, l.firstNext - l.top}, {7, l.second - l.top}};
  SpinSourceFile child;
  child.name = "child.spin";
  child.text = "' child\n\n\n\n\n\n\n\nPUB inner\n  fourth\n";
  child.instances = {{l.child, l.childSize}};
  child.marks = {{9, l.inner - l.child}};
  p.files = {top, child};
  p.methods = {{"top.spin", "first", l.first, true, "", 1, 1, 5},
               {"top.spin", "second", l.second, exact, exact ? "" : "a jump the compiler would not make", 6, 6, 7},
               {"child.spin", "inner", l.inner, true, "", 8, 8, 9}};
  return p;
}

// A window listing a copy of adc_scope whose recovery gives the hand-made
// project (or `project` when set), counting the requests.
struct SourceWindow {
  ScriptedPrompt prompt;
  SettingsStore store{kSettingsAppName};
  QTemporaryDir dir;
  std::unique_ptr<MainWindow> w;
  QString image;
  std::optional<SpinSourceProject> project;
  std::vector<SpinSourceRequest> requests;
  QStringList chosen;  // the folder dialog's answers; empty: cancel
  QStringList startedIn;

  SourceWindow() {
    w = LoadWindow(store);
    image = CopySample(dir, "adc_scope.eeprom", "adc_scope.eeprom");
    CopySample(dir, "adc_scope.spin", "adc_scope.spin");
    Controller().RecoveryFunction() = [this](const SpinSourceRequest& r) {
      requests.push_back(r);
      return project ? *project : HandMade(LayOut(*r.analysis));
    };
    Controller().Chooser() = [this](const QString&, const QString& folder) {
      startedIn << folder;
      return chosen.isEmpty() ? QString() : chosen.takeFirst();
    };
    w->show();
  }
  SpinSourceController& Controller() { return w->SpinSource(); }
  SpinSourceView* View() { return Controller().View(); }
  const Analysis& Model() { return *w->analysis(); }
  void Open() {
    w->Document().OpenFile(image);
    QCoreApplication::processEvents();
    prompt.asked.clear();
  }
  void ShowDock() {
    w->Action(Command::ShowSpinSource)->trigger();
    QCoreApplication::processEvents();
  }
  int CaretLine() { return w->Listing()->textCursor().blockNumber(); }
  void PutCaretAt(std::int32_t address) {
    const auto line = Model().LineAtAddress(address);
    QVERIFY(line.has_value());
    w->Listing()->setTextCursor(QTextCursor(w->Listing()->document()->findBlockByNumber(static_cast<int>(*line))));
  }
  void ClickLine(int line) {
    SpinSourceView* v = View();
    QTextCursor c(v->document()->findBlockByNumber(line));
    v->setTextCursor(c);
    v->ensureCursorVisible();
    const QRect r = v->cursorRect(c);
    QTest::mouseClick(v->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(r.x() + 4, r.center().y()));
  }
};

}  // namespace

class SpinSourceTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void clickingAStatementGoesToItsFirstBytecodeLine() {
    SourceWindow s;
    s.Open();
    s.ShowDock();
    const Layout l = LayOut(s.Model());
    QCOMPARE(s.Controller().ShownFile(), 0);
    QCOMPARE(s.Controller().Dock()->accessibleName(), QString("Spin Source"));
    QVERIFY(s.View()->isReadOnly());
    QCOMPARE(s.View()->font(), s.w->Listing()->font());  // the listing's font, and it follows a change
    QFont larger = s.w->Listing()->font();
    larger.setPointSizeF(13);
    s.w->Listing()->setFont(larger);
    QCOMPARE(s.View()->font().pointSizeF(), 13.0);

    const auto lineOf = [&s](std::int32_t address) { return static_cast<int>(*s.Model().LineAtAddress(address)); };
    s.ClickLine(3);
    QCOMPARE(s.CaretLine(), lineOf(l.firstNext));
    QCOMPARE(s.View()->HighlightedLine(), 3);  // kept: the caret's offset is also the clicked statement's
    QVERIFY(s.w->navigator()->BackAction()->isEnabled());  // a jump, as Go To makes
    s.ClickLine(7);
    QCOMPARE(s.CaretLine(), lineOf(l.second));
    s.ClickLine(1);  // a method's declaration: its first bytecode
    QCOMPARE(s.CaretLine(), lineOf(l.first));
    const int before = s.CaretLine();
    s.ClickLine(0);  // a comment and a blank line lead nowhere
    s.ClickLine(5);
    QCOMPARE(s.CaretLine(), before);

    // Keyboard: Enter on a statement line does the same.
    QTextCursor c(s.View()->document()->findBlockByNumber(7));
    s.View()->setTextCursor(c);
    QTest::keyClick(s.View(), Qt::Key_Return);
    QCOMPARE(s.CaretLine(), lineOf(l.second));

    // In the sub-object's file, the statement of the copy shown.
    s.PutCaretAt(l.child);
    QCOMPARE(s.Controller().ShownFile(), 1);
    QCOMPARE(s.Controller().ShownInstance(), l.child);
    s.ClickLine(9);
    QCOMPARE(s.CaretLine(), lineOf(l.inner));
  }

  void movingTheCaretMarksItsStatement_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("file");
    QTest::addColumn<int>("line");
    QTest::newRow("a method's first bytecode") << "first" << 0 << 2;
    QTest::newRow("a loop and its first statement at one offset: the inner") << "firstNext" << 0 << 4;
    QTest::newRow("inside the last statement of a method") << "beforeSecond" << 0 << 4;
    QTest::newRow("another method") << "second" << 0 << 7;
    QTest::newRow("a sub-object") << "inner" << 1 << 9;
    QTest::newRow("the header: in no object") << "header" << 0 << -1;
    QTest::newRow("the top object's table: before its first method") << "top" << 0 << -1;
  }
  void movingTheCaretMarksItsStatement() {
    QFETCH(QString, where);
    QFETCH(int, file);
    QFETCH(int, line);
    SourceWindow s;
    s.Open();
    s.ShowDock();
    const Layout l = LayOut(s.Model());
    const std::vector<std::int32_t> inFirst = AddressesIn(s.Model(), l.firstNext + 1, l.second);
    const std::map<QString, std::int32_t> places = {
        {"first", l.first}, {"firstNext", l.firstNext}, {"beforeSecond", inFirst.empty() ? l.firstNext : inFirst.back()},
        {"second", l.second}, {"inner", l.inner}, {"header", 0}, {"top", l.top}};
    s.PutCaretAt(places.at(where));
    QCOMPARE(s.Controller().ShownFile(), file);
    QCOMPARE(s.View()->HighlightedLine(), line);
    if (line >= 0) {
      QVERIFY(line >= s.View()->FirstLineInView() && line <= s.View()->LastLineInView());
    }
  }

  // With the real recovery: the caret on the bytes that close a loop marks the
  // loop's repeat line, not the last statement of its body.
  void realSourceIsColouredAndALoopsClosingBytesMarkItsRepeat() {
    SourceWindow s;
    s.Controller().RecoveryFunction() = [](const SpinSourceRequest& r) { return RecoverSpinSource(r); };
    s.Open();
    s.ShowDock();
    const SpinSourceProject* project = s.Controller().Project();
    QVERIFY(project != nullptr && !project->files.empty());
    const SpinSourceFile& top = project->files.front();
    const QStringList lines = QString::fromStdString(top.text).split('\n');
    // A repeat line with two marks: its statement and its closing bytes.
    int repeatLine = -1;
    std::int32_t closing = -1;
    for (std::size_t k = 0; k + 1 < top.marks.size(); ++k) {
      const SpinSourceMark& a = top.marks[k];
      const SpinSourceMark& b = top.marks[k + 1];
      if (a.line == b.line && lines[a.line].trimmed().startsWith("repeat")) {
        repeatLine = a.line;
        closing = b.offset;
        break;
      }
    }
    QVERIFY(repeatLine >= 0);
    s.PutCaretAt(top.instances.front().address + closing);
    QCOMPARE(s.View()->HighlightedLine(), repeatLine);

    // The colours are the listing's, and go off with them.
    QVERIFY(s.View()->Highlighter()->Enabled());
    s.w->navigator()->ColoursAction()->trigger();
    QVERIFY(!s.View()->Highlighter()->Enabled());
  }

  // The cases of spin_colours/cases.txt: each character's part, case by case.
  void spinSourceColours() {
    QFile file(SamplePath("spin_colours/cases.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList rows = QString::fromUtf8(file.readAll()).split('\n');
    QStringList code, marks;
    int cases = 0;
    const auto check = [&] {
      if (code.isEmpty()) return;
      QTextDocument document(code.join('\n'));
      SpinSourceHighlighter highlighter(&document);
      highlighter.rehighlight();
      for (int k = 0; k < code.size(); ++k) {
        const QTextBlock block = document.findBlockByNumber(k);
        QString got(block.text().size(), '.');
        for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
          for (int part = 0; part < SpinSourceHighlighter::kParts; ++part) {
            if (range.format != highlighter.Format(static_cast<SpinSourceHighlighter::Part>(part))) continue;
            for (int c = range.start; c < range.start + range.length && c < got.size(); ++c) got[c] = QChar("BKNSC"[part]);
          }
        }
        QCOMPARE(got, QString(marks[k]).replace(' ', '.'));
      }
      ++cases;
      code.clear();
      marks.clear();
    };
    for (qsizetype i = 0; i < rows.size(); ++i) {
      if (rows[i].startsWith('#')) continue;
      if (rows[i].isEmpty()) {
        check();
        continue;
      }
      QVERIFY(i + 1 < rows.size());
      code << rows[i];
      marks << rows[++i];
    }
    check();
    QVERIFY(cases >= 10);
  }

  void theMethodAtTheCaretComesIntoView() {
    SourceWindow s;
    // A long first method pushes the second one far down.
    s.Controller().RecoveryFunction() = [](const SpinSourceRequest& r) {
      SpinSourceProject p = HandMade(LayOut(*r.analysis));
      std::string filler;
      for (int i = 0; i < 200; ++i) filler += "    x := 0\n";
      p.files[0].text = "' hand-made\nPUB first\n  one\n  repeat\n    two\n" + filler +
                        "' note on second\nPUB second\n  third\n" + filler;
      p.files[0].marks.back().line = 207;
      p.methods[0].lastLine = 204;
      p.methods[1].firstLine = 205;  // the note above the declaration
      p.methods[1].headLine = 206;
      p.methods[1].lastLine = 407;
      return p;
    };
    s.Open();
    const Layout l = LayOut(s.Model());
    s.ShowDock();
    s.PutCaretAt(l.second);
    QCOMPARE(s.View()->HighlightedLine(), 207);
    QCOMPARE(s.View()->FirstLineInView(), 205);  // the note above the declaration first
    s.PutCaretAt(l.first);
    QCOMPARE(s.View()->HighlightedLine(), 2);
    QVERIFY(s.View()->FirstLineInView() <= 1);
  }

  void theRecoveryRunsOncePerListingAndOnlyWhenNeeded() {
    SourceWindow s;
    s.Open();
    QCOMPARE(s.Controller().Recoveries(), 0);  // the dock is off
    s.ShowDock();
    QCOMPARE(s.Controller().Recoveries(), 1);
    const SpinSourceRequest& r = s.requests.back();
    QCOMPARE(QString::fromStdString(r.topName), QString("adc_scope"));
    QCOMPARE(r.analysis, s.w->analysis().get());
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(r.image.data()), static_cast<qsizetype>(r.image.size())),
             ReadBytes(s.image));
    QVERIFY(QString::fromStdString(r.sourceText).contains("OBJ"));  // the source beside the image
    s.PutCaretAt(LayOut(s.Model()).second);
    s.PutCaretAt(LayOut(s.Model()).inner);
    QCOMPARE(s.Controller().Recoveries(), 1);

    s.w->Document().Refresh();  // a new analysis
    QCOMPARE(s.Controller().Recoveries(), 2);
    s.w->Action(Command::ShowSpinSource)->trigger();  // off
    QVERIFY(s.Controller().Dock()->isHidden());
    s.w->Document().Refresh();
    QCOMPARE(s.Controller().Recoveries(), 2);
    s.chosen << s.dir.filePath("out");
    QVERIFY(QDir().mkdir(s.dir.filePath("out")));
    s.w->Action(Command::ExportSpinSource)->trigger();
    QCOMPARE(s.Controller().Recoveries(), 3);

    // A reference table is no listing: nothing to export, nothing shown.
    s.w->ShowSpinOpcodes();
    QVERIFY(!s.w->Action(Command::ExportSpinSource)->isEnabled());
    s.ShowDock();
    QCOMPARE(s.View()->toPlainText(), QString("No image is listed."));
    QCOMPARE(s.Controller().Recoveries(), 3);
  }

  void anErrorOrAFaultInTheRecoveryIsShownNotThrown() {
    SourceWindow s;
    s.project = SpinSourceProject{};
    s.project->error = "the header names no object";
    s.Open();
    s.ShowDock();
    QVERIFY(s.View()->toPlainText().endsWith("the header names no object"));
    s.Controller().RecoveryFunction() = [](const SpinSourceRequest&) -> SpinSourceProject {
      throw std::runtime_error("out of memory");
    };
    s.w->Document().Refresh();
    QVERIFY(s.View()->toPlainText().endsWith("the recovery failed: out of memory"));
  }

  void exportWritesEveryFileAndNamesTheInexactMethods() {
    SourceWindow s;
    QVERIFY(!s.w->Action(Command::ExportSpinSource)->isEnabled());
    s.Open();
    QVERIFY(s.w->Action(Command::ExportSpinSource)->isEnabled());
    QCOMPARE(s.w->Action(Command::ExportSpinSource)->text(), QString("Export Spin Sour&ce ..."));
    const QString out = s.dir.filePath("out");
    QVERIFY(QDir().mkdir(out));
    s.project = HandMade(LayOut(s.Model()), false);

    s.w->Action(Command::ExportSpinSource)->trigger();  // cancelled: nothing happens
    // The image's folder holds its source: a new folder named after the image is offered, not made yet.
    QCOMPARE(s.startedIn, QStringList({s.dir.filePath("adc_scope_spin")}));
    QVERIFY(!QFileInfo::exists(s.dir.filePath("adc_scope_spin")));
    QVERIFY(s.prompt.asked.isEmpty());

    s.chosen << out;
    s.w->Action(Command::ExportSpinSource)->trigger();
    QCOMPARE(Entries(out), QStringList({"child.spin", "top.spin"}));
    for (const SpinSourceFile& f : s.project->files) {
      const std::string bytes = SpinSourceFileBytes(f);
      QCOMPARE(ReadBytes(out + "/" + QString::fromStdString(f.name)),
               QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    QCOMPARE(s.prompt.asked.size(), 1);
    QCOMPARE(s.prompt.asked[0].icon, MessageIcon::Information);
    QCOMPARE(s.prompt.asked[0].text, "Spin source written\r\n\r\n" + out + "/top.spin\r\nand 1 object file beside it"
                                     "\r\n\r\n1 of 3 methods not reconstructed exactly:"
                                     "\r\ntop.spin: second - a jump the compiler would not make");
    // Again after a refresh: the files are replaced after a Yes, and the dialog starts in the folder chosen last.
    s.project = HandMade(LayOut(s.Model()));
    s.w->Document().Refresh();
    s.chosen << out;
    s.w->Action(Command::ExportSpinSource)->trigger();
    QCOMPARE(s.startedIn.last(), out);
    QCOMPARE(s.prompt.asked[1].buttons, MessageButtons::YesNo);
    QVERIFY(s.prompt.asked[2].text.endsWith("\r\n\r\n3 methods, all reconstructed exactly."));
    QCOMPARE(Entries(out), QStringList({"child.spin", "top.spin"}));
  }

  void exportIntoAFolderWithFilesOfItsNamesAsksAndWritesNothingOnNo() {
    SourceWindow s;
    s.Open();
    const QString out = s.dir.filePath("out");
    QVERIFY(QDir().mkdir(out));
    QFile top(out + "/top.spin");
    QVERIFY(top.open(QIODevice::WriteOnly));
    top.write("' a line the user added\r\n");
    top.close();
    s.chosen << out;
    s.prompt.answers << MessageAnswer::No;
    s.w->Action(Command::ExportSpinSource)->trigger();
    QCOMPARE(s.prompt.asked.size(), 1);
    QCOMPARE(s.prompt.asked[0].buttons, MessageButtons::YesNo);
    QCOMPARE(s.prompt.asked[0].defaultAnswer, MessageAnswer::No);
    QCOMPARE(s.prompt.asked[0].text, "The folder\r\n\r\n" + out +
                                         "\r\n\r\nalready holds a file of this name:\r\n\r\ntop.spin"
                                         "\r\n\r\nReplace it with the recovered source?");
    QCOMPARE(Entries(out), QStringList({"top.spin"}));  // nothing written, not even the new child.spin
    QCOMPARE(ReadBytes(out + "/top.spin"), QByteArray("' a line the user added\r\n"));

    s.chosen << out;
    s.prompt.answers << MessageAnswer::Yes;
    s.w->Action(Command::ExportSpinSource)->trigger();
    QCOMPARE(s.prompt.asked.size(), 3);
    QCOMPARE(s.prompt.asked[2].icon, MessageIcon::Information);
    QCOMPARE(Entries(out), QStringList({"child.spin", "top.spin"}));
    QVERIFY(ReadBytes(out + "/top.spin").startsWith("' hand-made"));
  }

  // The source read from a folder other than the image's (the listing's save
  // folder): remembered as the export folder, it is not offered either.
  void aFolderHoldingTheSourceReadIsNotOffered() {
    SourceWindow s;
    const QString other = s.dir.filePath("saved");
    QVERIFY(QDir().mkdir(other));
    QVERIFY(QFile::copy(SamplePath("adc_scope.spin"), other + "/adc_scope.spin"));
    QVERIFY(QFile::remove(s.dir.filePath("adc_scope.spin")));
    s.w->Document().SetLastFile(s.image);
    s.w->Document().SetSaveFile(other + "/adc_scope.lst");
    s.store.WriteText("Mru", "SpinSourceFolder", other);
    s.Controller().Load(s.store);
    s.Open();
    QCOMPARE(s.w->Document().SourcePath(), other + "/adc_scope.spin");
    s.w->Action(Command::ExportSpinSource)->trigger();  // cancelled
    QCOMPARE(s.startedIn, QStringList({other + "/adc_scope_spin"}));
    QCOMPARE(Entries(other), QStringList({"adc_scope.spin"}));
  }

  void theOfferedFolderIsMadeWhenChosen() {
    SourceWindow s;
    s.Open();
    const QString offered = s.dir.filePath("adc_scope_spin");
    s.chosen << offered;
    s.w->Action(Command::ExportSpinSource)->trigger();
    QCOMPARE(s.startedIn, QStringList({offered}));
    QCOMPARE(s.prompt.asked.size(), 1);
    QCOMPARE(s.prompt.asked[0].icon, MessageIcon::Information);
    QCOMPARE(Entries(offered), QStringList({"child.spin", "top.spin"}));
    // The sources beside the image are untouched.
    QCOMPARE(ReadBytes(s.dir.filePath("adc_scope.spin")), ReadBytes(SamplePath("adc_scope.spin")));
  }

  void exportRefusesAndWritesNothing_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a plain file as folder") << "file" << "It is not a folder.";
    QTest::newRow("a missing folder") << "missing" << "The folder does not exist.";
    // Refused by its mode for root, by the system for anyone else.
    QTest::newRow("one target read-only") << "readonly" << "child.spin: The file is read-only.|child.spin: Permission denied.";
    QTest::newRow("one target a folder") << "subfolder" << "child.spin: It is a folder.";
    QTest::newRow("a name leaving the folder") << "escape" << "The recovered file name \"../top.spin\" is not a plain file name.";
    QTest::newRow("two files of one name") << "twice" << "Two recovered files have the same name \"top.spin\".";
    QTest::newRow("the image's own name") << "image" << "adc_scope.eeprom: The output would overwrite the image.";
    QTest::newRow("the source beside the image")
        << "source" << "adc_scope.spin: The output would overwrite the Spin source beside the image.";
    QTest::newRow("a link of a file's name") << "link" << "child.spin: It is a symbolic link; it is not followed.";
    QTest::newRow("a dangling link") << "dangling" << "child.spin: It is a symbolic link; it is not followed.";
    QTest::newRow("no source recovered") << "error" << "the header names no object";
  }
  void exportRefusesAndWritesNothing() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    SourceWindow s;
    s.Open();
    SpinSourceProject p = HandMade(LayOut(s.Model()));
    QString folder = s.dir.filePath("out");
    QVERIFY(QDir().mkdir(folder));
    if (kind == "file") {
      folder = s.image;
    } else if (kind == "missing") {
      folder = s.dir.filePath("nowhere");
    } else if (kind == "readonly") {
      Touch(folder + "/child.spin");
      QVERIFY(QFile::setPermissions(folder + "/child.spin", QFile::ReadOwner));
    } else if (kind == "subfolder") {
      QVERIFY(QDir().mkdir(folder + "/child.spin"));
    } else if (kind == "escape") {
      p.files[1].name = "../top.spin";
    } else if (kind == "twice") {
      p.files[1].name = "top.spin";
    } else if (kind == "image") {
      folder = s.dir.path();
      p.files[1].name = "adc_scope.eeprom";
    } else if (kind == "source") {
      folder = s.dir.path();
      p.files[1].name = "adc_scope.spin";
    } else if (kind == "link") {
      QVERIFY(QFile::link("../adc_scope.spin", folder + "/child.spin"));
    } else if (kind == "dangling") {
      QVERIFY(QFile::link("../made-through-a-link.spin", folder + "/child.spin"));
    } else if (kind == "error") {
      p = SpinSourceProject{};
      p.error = "the header names no object";
    }
    s.project = p;
    const QStringList before = Entries(s.dir.path()) + Entries(s.dir.filePath("out"));
    const QByteArray image = ReadBytes(s.image);
    s.chosen << folder;
    s.w->Action(Command::ExportSpinSource)->trigger();
    QCOMPARE(s.prompt.asked.size(), 1);
    QCOMPARE(s.prompt.asked[0].icon, MessageIcon::Warning);
    const QString start = "Cannot write the Spin source to the folder\r\n\r\n" + folder + "\r\n\r\n";
    QVERIFY2(reason.split('|').contains(s.prompt.asked[0].text.mid(start.size())) && s.prompt.asked[0].text.startsWith(start),
             qPrintable(s.prompt.asked[0].text));
    QCOMPARE(Entries(s.dir.path()) + Entries(s.dir.filePath("out")), before);
    QCOMPARE(ReadBytes(s.image), image);
    QCOMPARE(ReadBytes(s.dir.filePath("adc_scope.spin")), ReadBytes(SamplePath("adc_scope.spin")));
  }

  void theDockAndTheFolderAreRemembered() {
    QString out;
    {
      SourceWindow s;
      QVERIFY(!s.w->Action(Command::ShowSpinSource)->isChecked() && s.Controller().Dock()->isHidden());  // off at first
      QCOMPARE(s.w->Action(Command::ViewMenu)->menu()->actions().last(), s.w->Action(Command::ShowSpinSource));
      s.Open();
      s.ShowDock();
      QVERIFY(s.Controller().Dock()->isVisible());
      out = s.dir.filePath("out");
      s.chosen << out;
      QVERIFY(QDir().mkdir(out));
      s.w->Action(Command::ExportSpinSource)->trigger();
      s.w->close();
      QCOMPARE(s.store.ReadText("Settings", "ShowSpinSource"), QString("True"));
    }
    SourceWindow s;
    QCOMPARE(s.store.ReadText("Mru", "SpinSourceFolder"), out);
    QVERIFY(s.w->Action(Command::ShowSpinSource)->isChecked());
    QVERIFY(s.Controller().Dock()->isVisible());
    QCOMPARE(s.Controller().Folder(), out);  // the folder itself is gone with its temporary parent
    // The dock's own close button clears the menu mark, and that is what is stored.
    s.Controller().Dock()->close();
    QVERIFY(!s.w->Action(Command::ShowSpinSource)->isChecked());
    s.w->close();
    QCOMPARE(s.store.ReadText("Settings", "ShowSpinSource"), QString("False"));
  }
};

int RunSpinSourceTests(int argc, char** argv) {
  SpinSourceTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "spin_source_test.moc"
