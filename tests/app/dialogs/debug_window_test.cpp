// The debug window: opening with the first trace, appending and clearing, Save As,
// placement, the developer's seen-flags sections; Set Font, Copy and Keep Position.
#include <QClipboard>
#include <QComboBox>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

#include "brevin/engine.h"
#include "brevin/reports.h"
#include "dialogs/debug_window.h"
#include "dialogs/find_dialog.h"
#include "output/printing.h"
#include "tool/debug_flags.h"
#include "test_support.h"
#include "listing/view_position.h"

using namespace brevin;
using namespace brevin::test;

namespace {

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class DebugWindowTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void traceOpensTheWindowAndAccumulates() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    const QString image = SamplePath("led_chaser.eeprom");
    w->Document().OpenFile(image);
    QVERIFY(w->DebugInfo() == nullptr);  // no debug option, no window

    w->Action(Command::DebugSpin)->trigger();
    QVERIFY(w->Action(Command::DebugVars)->isEnabled());
    w->Document().OpenFile(image);
    DebugWindow* d = w->DebugInfo();
    QVERIFY(d != nullptr && d->isVisible());
    QCOMPARE(d->windowTitle(), QString("Debug Info"));
    QVERIFY(d->Topmost());
    QCOMPARE(d->textView->font(), w->Listing()->font());
    const QString once = d->textView->toPlainText();
    QVERIFY(once.startsWith("Init 0034\nSpin 0034 "));
    QVERIFY(!once.contains('\r'));
    QVERIFY(!d->Frozen());
    QCOMPARE(d->textView->textCursor().position(), 0);

    // Opening again appends; Refresh starts over.
    w->Document().OpenFile(image);
    QCOMPARE(d->textView->toPlainText(), once + once);
    w->Document().Refresh();
    QCOMPARE(d->textView->toPlainText(), once);
    QVERIFY(!d->Frozen());

    // The menus of the window.
    QStringList items;
    for (int i = 0; i < static_cast<int>(DebugCommand::kCount); ++i) {
      items << d->Action(static_cast<DebugCommand>(i))->text();
    }
    QCOMPARE(items, QStringList({"Save &As ...", "&Print ...", "Printer Set&up ...", "E&xit", "&Copy", "Select &All",
                                 "&Find ...", "Find &Next"}));
    QCOMPARE(d->Action(DebugCommand::FindNext)->shortcut(), QKeySequence("F3"));

    // Find in the debug window searches its own text.
    w->Find().SetText("Spin 0036");
    d->Action(DebugCommand::FindNext)->trigger();
    QCOMPARE(d->textView->textCursor().selectedText(), QString("Spin 0036"));
    d->Action(DebugCommand::Copy)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("Spin 0036"));
    d->Action(DebugCommand::SelectAll)->trigger();
    d->Action(DebugCommand::Copy)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), once);

    // The find dialog, open on the listing, turns to the debug text from this window.
    w->Action(Command::Find)->trigger();
    QCOMPARE(w->Find().Dialog()->Target(), w->Listing());
    d->Action(DebugCommand::Find)->trigger();
    QCOMPARE(w->Find().Dialog()->Target(), d->textView);
    w->Find().Dialog()->searchTextBox->setEditText("Init 0034");
    w->Find().Dialog()->findFirstButton->click();
    QCOMPARE(d->textView->textCursor().selectionStart(), 0);
    QCOMPARE(d->textView->textCursor().selectedText(), QString("Init 0034"));

    // Closing the main window closes this one.
    w->close();
    DeleteClosed();
    QVERIFY(w->DebugInfo() == nullptr);
    QVERIFY(store.Contains("Debug", "Width"));
  }

  void saveAsWritesTheTextOrSaysWhyNot() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Action(Command::DebugAsmb)->trigger();
    w->Document().OpenFile(SamplePath("serial_terminal.eeprom"));
    DebugWindow* d = w->DebugInfo();
    QVERIFY(d != nullptr);
    QVERIFY(d->textView->toPlainText().contains("\nAsmb "));

    QTemporaryDir dir;
    QStringList asked;
    QString chosen;
    bool topmostWhileAsking = true;
    d->ChooseSaveFile = [&](const QString& title, const QString& folder, const QString& filter) {
      asked = {title, folder, filter};
      topmostWhileAsking = d->Topmost();
      return chosen;
    };
    d->Action(DebugCommand::SaveAs)->trigger();  // cancelled
    QCOMPARE(asked[0], QString("Save Debugging Information As ..."));
    QCOMPARE(asked[1], FolderOf(w->Document().SaveFile()));
    QVERIFY(!topmostWhileAsking);
    QVERIFY(d->Topmost());
    QVERIFY(QDir(dir.path()).isEmpty());

    chosen = dir.filePath("trace.txt");
    d->Action(DebugCommand::SaveAs)->trigger();
    const QByteArray saved = ReadAll(chosen);
    QCOMPARE(QString::fromUtf8(saved), d->textView->toPlainText().replace("\n", "\r\n"));
    QVERIFY(saved.startsWith("Init ") && saved.contains("\r\nAsmb "));

    // A folder that does not exist: a warning naming the file, and no file.
    chosen = dir.filePath("missing/trace.txt");
    d->Action(DebugCommand::SaveAs)->trigger();
    QCOMPARE(prompt.asked.last().icon, MessageIcon::Warning);
    QVERIFY(prompt.asked.last().text.contains(chosen));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList({"trace.txt"}));
  }

  void printGoesToTheProgramsPrinter() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    auto* printer = new RecordingPrintService;
    w->Document().SetPrintService(std::unique_ptr<PrintService>(printer));
    w->Action(Command::DebugSpin)->trigger();
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    DebugWindow* d = w->DebugInfo();
    d->Action(DebugCommand::Print)->trigger();
    QCOMPARE(printer->printed.size(), 1);
    QCOMPARE(printer->printed[0].font, d->textView->font());
    QCOMPARE(printer->printed[0].parts.size(), 1);
    QCOMPARE(printer->printed[0].parts[0].first(), QString("Init 0034"));
    QCOMPARE(printer->printed[0].parts[0].size(), d->textView->document()->blockCount() - 1);
    QVERIFY(d->Topmost());

    printer->error = kNoPrinter;
    d->Action(DebugCommand::Print)->trigger();
    QCOMPARE(prompt.asked.last().text, UnableToPrintText(kNoPrinter));
    QCOMPARE(prompt.asked.last().icon, MessageIcon::Warning);
  }

  void placementIsKeptOnlyFromTheNormalState() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Action(Command::DebugSpin)->trigger();
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    DebugWindow* d = w->DebugInfo();
    d->setGeometry(30, 40, 500, 300);
    d->Action(DebugCommand::Exit)->trigger();
    DeleteClosed();
    QVERIFY(w->DebugInfo() == nullptr);
    const QString width = store.ReadText("Debug", "Width");
    QVERIFY(!width.isEmpty());

    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    d = w->DebugInfo();
    QCOMPARE(d->size(), QSize(500, 300));
    d->showMaximized();
    d->close();
    DeleteClosed();
    QCOMPARE(store.ReadText("Debug", "Width"), width);
  }

  void seenFlagsSectionsKeepTheirBlanks() {
    SettingsStore store(kSettingsAppName);
    SeenFlags opcodes{};
    SeenFlags effects{};
    LoadDebugFlags(store, false, opcodes, effects);
    QVERIFY(std::all_of(opcodes.begin(), opcodes.end(), [](bool b) { return b; }));
    LoadDebugFlags(store, true, opcodes, effects);  // no Flag yet: nothing seen
    QVERIFY(std::none_of(opcodes.begin(), opcodes.end(), [](bool b) { return b; }));
    QVERIFY(std::none_of(effects.begin(), effects.end(), [](bool b) { return b; }));

    opcodes.fill(true);
    effects.fill(true);
    opcodes[0x38] = false;
    effects[0x80] = false;
    SaveDebugFlags(store, opcodes, effects, "2026-12-07 10:00:00");
    const QByteArray file = ReadAll(store.FileName());
    QVERIFY(file.contains("[Debug Opc]"));
    QVERIFY(file.contains("[Debug Eff]"));
    QVERIFY(!file.contains("%20"));
    QCOMPARE(store.ReadText("Debug Opc", "38"),
             QString::fromStdString(SpinOpcodeDefinition(0x38)));
    QCOMPARE(store.ReadText("Debug Eff", "80"), QString::fromStdString(std::string(SpinEffectName(0x80))));
    QCOMPARE(store.ReadText("Debug Opc", "39"), QString());

    // Read back by a later run, also after other settings were written.
    store.WriteText("Setup", "Crashed", "False");
    store.Sync();
    SettingsStore later(kSettingsAppName);
    SeenFlags laterOpcodes{};
    SeenFlags laterEffects{};
    LoadDebugFlags(later, true, laterOpcodes, laterEffects);
    QCOMPARE(laterOpcodes, opcodes);
    QCOMPARE(laterEffects, effects);
    QVERIFY(ReadAll(store.FileName()).contains("[Debug Opc]"));
  }

  void developerModeKeepsTheSeenFlagsAcrossRuns() {
    ScriptedPrompt prompt;
    Process().DeveloperMode = true;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);  // the upgrade notice empties "Flag": nothing counts as seen
    QVERIFY(std::none_of(w->Document().engine().SeenOpcodes().begin(), w->Document().engine().SeenOpcodes().end(), [](bool b) { return b; }));
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    QVERIFY(w->Document().engine().SeenOpcodes()[0x38]);  // PUSH, decoded in this image
    w->close();
    QVERIFY(!store.ReadText("Debug Opc", "Flag").isEmpty());
    QCOMPARE(store.ReadText("Debug Opc", "38"), QString());
    const auto unseen = std::find(w->Document().engine().SeenOpcodes().begin(), w->Document().engine().SeenOpcodes().end(), false);
    QVERIFY(unseen != w->Document().engine().SeenOpcodes().end());
    const auto index = static_cast<std::size_t>(unseen - w->Document().engine().SeenOpcodes().begin());
    QCOMPARE(store.ReadText("Debug Opc", QString("%1").arg(index, 2, 16, QChar('0')).toUpper()),
             QString::fromStdString(SpinOpcodeDefinition(static_cast<int>(index))));
    QVERIFY(ReadAll(store.FileName()).contains("[Debug Opc]"));

    auto again = LoadWindow(store);
    QCOMPARE(again->Document().engine().SeenOpcodes(), w->Document().engine().SeenOpcodes());
    // An effect without a name is stored empty, so it reads back as seen.
    for (std::size_t i = 0; i < 256; ++i) {
      const bool expected = w->Document().engine().SeenEffects()[i] || SpinEffectName(static_cast<int>(i)).empty();
      QCOMPARE(again->Document().engine().SeenEffects()[i], expected);
    }
  }

  void setFontReachesBothTextAreas() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Action(Command::DebugSpin)->trigger();
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    QString title;
    QFont offered;
    bool accept = false;
    QFont chosen = w->Listing()->font();
    chosen.setPointSizeF(14);
    chosen.setBold(true);
    w->SetFontChooser([&](const QString& t, QFont& font) {
      title = t;
      offered = font;
      if (accept) font = chosen;
      return accept;
    });
    const QFont before = w->Listing()->font();
    w->Action(Command::SetFont)->trigger();  // cancelled
    QCOMPARE(title, QString("Set Font"));
    QCOMPARE(offered, before);
    QCOMPARE(w->Listing()->font(), before);

    accept = true;
    w->Action(Command::SetFont)->trigger();
    QCOMPARE(w->Listing()->font().pointSizeF(), 14.0);
    QVERIFY(w->Listing()->font().bold());
    QCOMPARE(w->DebugInfo()->textView->font().pointSizeF(), 14.0);
    w->close();
    QCOMPARE(store.ReadText("Font", "Size"), QString("14"));
    QCOMPARE(store.ReadText("Font", "Bold"), QString("True"));

    // A stored font that is no longer installed gives way to the fixed-pitch default.
    store.WriteText("Font", "Name", "No Such Font 4711");
    auto again = LoadWindow(store);
    QCOMPARE(again->Listing()->font().family(), DefaultListingFont().family());
    QCOMPARE(again->Listing()->font().pointSizeF(), 14.0);
    QVERIFY(again->Listing()->font().bold());
  }

  void copyTakesTheSelectionWithLineFeeds() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    QPlainTextEdit* area = w->Listing();
    const QTextBlock line = area->document()->findBlockByNumber(9);
    QTextCursor cursor(line);
    cursor.setPosition(line.next().position() + 4, QTextCursor::KeepAnchor);
    area->setTextCursor(cursor);
    ToolbarButton(*w, "COPY")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), line.text() + "\n" + line.next().text().left(4));
  }

  void anchorsFollowTheAddress() {
    const QStringList before = {"title", "", "0010  A4 01", "====  ; PUB", "0034  38 17", "0034  37 03", "0036  3E"};
    const QStringList after = {"title", "", "0010  A4 01", "0034  38 17", "0034  37 03", "0036  3E"};
    const LineAnchor source = AnchorOf(before, 3);  // a source line just above its code
    QCOMPARE(source.address, QString("0034"));
    QCOMPARE(source.offset, 1);
    QCOMPARE(LineOf(after, source), 2);
    QCOMPARE(LineOf(after, AnchorOf(before, 5)), 4);  // the second line of the same address
    const QStringList noAddresses = {"a", "b", "c", "d"};
    QCOMPARE(LineOf(noAddresses, AnchorOf(before, 5)), 3);  // no such address: the line number, kept inside
    QCOMPARE(LineOf(after, AnchorOf(noAddresses, 2)), 2);
    QCOMPARE(LineAddress("0034         38 17"), QString("0034"));
    QVERIFY(LineAddress("====  ; PUB main").isEmpty());
    QVERIFY(LineAddress("      +0004").isEmpty());
  }

  void refreshKeepsThePlace() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->resize(900, 500);
    w->show();
    w->Document().OpenFile(SamplePath("serial_terminal.eeprom"));
    QPlainTextEdit* area = w->Listing();
    QScrollBar* bar = area->verticalScrollBar();
    QVERIFY(bar->maximum() > 900);
    bar->setValue(800);
    const QString topAddress = LineAddress(area->document()->findBlockByNumber(bar->value()).text());
    const QTextBlock caretLine = area->document()->findBlockByNumber(810);
    QTextCursor caret(caretLine);
    caret.setPosition(caretLine.position() + 3);
    area->setTextCursor(caret);
    bar->setValue(800);

    // Labels off: lines move, the address at the top stays.
    w->Action(Command::AutoRefresh)->trigger();
    w->Action(Command::SymbolTable)->trigger();
    w->Action(Command::ShowLabels)->trigger();
    const QString topNow = area->document()->findBlockByNumber(bar->value()).text();
    QVERIFY(!topAddress.isEmpty());
    QCOMPARE(LineAddress(topNow), topAddress);
    QCOMPARE(LineAddress(area->textCursor().block().text()), LineAddress(caretLine.text()));
    QCOMPARE(area->textCursor().positionInBlock(), 3);

    // Without Keep Position a refresh starts at the top; another image always does.
    w->Action(Command::KeepPosition)->setChecked(false);
    w->Document().Refresh();
    QCOMPARE(bar->value(), 0);
    w->Action(Command::KeepPosition)->setChecked(true);
    bar->setValue(300);
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    QCOMPARE(bar->value(), 0);

    // An auto-reload of a rewritten image keeps the place too.
    QTemporaryDir dir;
    const QString copy = CopySample(dir, "serial_terminal.eeprom", "serial_terminal.eeprom");
    w->Action(Command::InhibitWarnings)->setChecked(true);
    w->Action(Command::AutoReload)->setChecked(true);
    w->Document().OpenFile(copy);
    bar->setValue(700);
    const QString before = area->document()->findBlockByNumber(700).text();
    QFile file(copy);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    file.close();
    for (int tick = 0; tick <= FileWatch::kSteadyChecks; ++tick) w->Document().CheckForReload();  // seen, then steady
    QVERIFY(area->toPlainText().contains("Auto-Reloaded at "));
    QCOMPARE(LineAddress(area->document()->findBlockByNumber(bar->value()).text()), LineAddress(before));
    QVERIFY(bar->value() != 700);  // the new heading line moved the text down by one
  }
};

int RunDebugWindowTests(int argc, char** argv) {
  DebugWindowTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "debug_window_test.moc"
