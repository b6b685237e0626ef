// Text search: the history and proposal rules, Find First and Find Next with the
// wrap-around, the option bits, the " Find" dialog, F3, and what is stored.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QtTest>

#include "dialogs/find_dialog.h"
#include "test_support.h"
#include "listing/text_search.h"

using namespace brevin;
using namespace brevin::test;

namespace {

int SelectionStart(const QPlainTextEdit* area) { return area->textCursor().selectionStart(); }

// Every start of text in the area's text, compared without case.
QList<int> Matches(const QPlainTextEdit* area, const QString& text) {
  QList<int> starts;
  const QString all = area->toPlainText();
  for (qsizetype at = all.indexOf(text, 0, Qt::CaseInsensitive); at >= 0;
       at = all.indexOf(text, at + 1, Qt::CaseInsensitive)) {
    starts.append(static_cast<int>(at));
  }
  return starts;
}

void Select(QPlainTextEdit* area, int from, int to) {
  QTextCursor cursor(area->document());
  cursor.setPosition(from);
  cursor.setPosition(to, QTextCursor::KeepAnchor);
  area->setTextCursor(cursor);
}

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

class FindTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void historyKeepsTheNewestTenCaseSensitively() {
    QStringList list;
    for (int i = 1; i <= 11; ++i) AddToFindHistory(list, QString("t%1").arg(i));
    QCOMPARE(list.size(), 10);
    QCOMPARE(list.front(), QString("t11"));
    QCOMPARE(list.back(), QString("t2"));
    AddToFindHistory(list, "t5");  // an earlier text moves up, once
    QCOMPARE(list.size(), 10);
    QCOMPARE(list.mid(0, 3), QStringList({"t5", "t11", "t10"}));
    QCOMPARE(list.count("t5"), 1);
    AddToFindHistory(list, "T5");  // another case is another text
    QCOMPARE(list.mid(0, 2), QStringList({"T5", "t5"}));
    AddToFindHistory(list, "T5");
    QCOMPARE(list.mid(0, 2), QStringList({"T5", "t5"}));
  }

  void proposedTextIsTheFirstPrintableLine() {
    QCOMPARE(ProposedFindText(QString("PUSH\t23") + QChar(QChar::ParagraphSeparator) + "POP"), QString("PUSH 23"));
    QCOMPARE(ProposedFindText("first\r\nsecond"), QString("first"));
    QCOMPARE(ProposedFindText("a\nb\rc"), QString("a"));
    QCOMPARE(ProposedFindText(QString::fromUtf8("caf\u00e9 \x01x")), QString("caf   x"));
    QCOMPARE(GetFindMode(true, false), 2);
    QCOMPARE(GetFindMode(false, true), 4);
    QCOMPARE(GetFindMode(true, true), 6);
  }

  void findNextWrapsAroundWithoutAMessage() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    w->Action(Command::Find)->trigger();
    FindDialog* d = w->Find().Dialog();
    QVERIFY(d != nullptr && d->isVisible());
    QCOMPARE(d->windowTitle(), QString(" Find"));
    QVERIFY(d->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(d->Target(), w->Listing());

    const QList<int> beats = Matches(w->Listing(), "CALLSUB");
    QVERIFY(beats.size() >= 3);
    prompt.asked.clear();
    d->searchTextBox->setEditText("CALLSUB");
    d->findFirstButton->click();
    QCOMPARE(SelectionStart(w->Listing()), beats[0]);
    QCOMPARE(w->Listing()->textCursor().selectedText(), QString("CALLSUB"));
    for (int i = 1; i <= beats.size(); ++i) {
      QTest::keyClick(d->searchTextBox, Qt::Key_Return);  // Enter in the box is Find Next
      QCOMPARE(SelectionStart(w->Listing()), beats[i % beats.size()]);
    }
    QVERIFY(prompt.asked.isEmpty());

    // A single match is found again and again.
    const QList<int> single = Matches(w->Listing(), "COGIFUN");
    QCOMPARE(single.size(), 1);
    d->searchTextBox->setEditText("COGIFUN");
    d->findNextButton->click();
    d->findNextButton->click();
    QCOMPARE(SelectionStart(w->Listing()), single[0]);
    QVERIFY(prompt.asked.isEmpty());

    // Nothing found: the box of the button pressed, and the selection stays.
    d->searchTextBox->setEditText("NoSuchThing");
    d->findFirstButton->click();
    d->findNextButton->click();
    QCOMPARE(prompt.asked.size(), 2);
    QCOMPARE(prompt.asked[0].title, QString("Find First"));
    QCOMPARE(prompt.asked[1].title, QString("Find Next"));
    QCOMPARE(prompt.asked[1].text, QString("Text Not Found"));
    QCOMPARE(prompt.asked[1].icon, MessageIcon::Information);
    QCOMPARE(SelectionStart(w->Listing()), single[0]);

    // An empty box makes both buttons do nothing.
    d->searchTextBox->setEditText(QString());
    d->findFirstButton->click();
    d->findNextButton->click();
    QCOMPARE(prompt.asked.size(), 2);
    QCOMPARE(w->Find().Text(), QString("NoSuchThing"));
  }

  void matchCaseAndWholeWord() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));  // its source lines hold "waitpne(" in lower case
    prompt.asked.clear();
    w->Action(Command::Find)->trigger();
    FindDialog* d = w->Find().Dialog();

    d->searchTextBox->setEditText("waitpne");
    d->findFirstButton->click();
    const int first = SelectionStart(w->Listing());
    d->findNextButton->click();
    QVERIFY(SelectionStart(w->Listing()) != first);  // both cases match
    QCOMPARE(w->Find().Mode(), 0);

    d->matchCaseBox->setChecked(true);
    d->findFirstButton->click();
    QCOMPARE(w->Listing()->textCursor().selectedText(), QString("waitpne"));
    d->findNextButton->click();
    QCOMPARE(w->Listing()->textCursor().selectedText(), QString("waitpne"));
    QCOMPARE(w->Find().Mode(), kFindMatchCase);

    // "COGI" stands only inside "COGIFUN": found as a part, not as a word.
    d->matchCaseBox->setChecked(false);
    d->searchTextBox->setEditText("COGI");
    d->findFirstButton->click();
    QVERIFY(prompt.asked.isEmpty());
    d->wholeWordBox->setChecked(true);
    d->findFirstButton->click();
    QCOMPARE(prompt.Count("Text Not Found"), 1);
    QCOMPARE(w->Find().Mode(), kFindWholeWord);
  }

  void historyIsKeptAndStored() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    w->Action(Command::Find)->trigger();
    FindDialog* d = w->Find().Dialog();
    d->searchTextBox->setEditText("push");
    d->findFirstButton->click();
    d->searchTextBox->setEditText("PUSH");
    d->findFirstButton->click();
    QCOMPARE(w->Listing()->textCursor().selectedText(), QString("PUSH"));  // no Match Case: either case
    QCOMPARE(d->Entries(), QStringList({"PUSH", "push"}));
    QCOMPARE(d->searchTextBox->count(), 2);
    d->findNextButton->click();  // the same text again adds nothing
    QCOMPARE(d->Entries(), QStringList({"PUSH", "push"}));

    d->move(40, 50);
    d->close();
    DeleteClosed();
    QVERIFY(w->Find().Dialog() == nullptr);
    QCOMPARE(w->Find().History().mid(0, 2), QStringList({"PUSH", "push"}));
    QVERIFY(store.Contains("Find", "Top") && store.Contains("Find", "Left"));

    w->close();
    QCOMPARE(store.ReadText("Find", "0"), QString("PUSH"));
    QCOMPARE(store.ReadText("Find", "1"), QString("PUSH"));
    QCOMPARE(store.ReadText("Find", "2"), QString("push"));

    // The next run shows the history and opens the dialog where it was.
    auto again = LoadWindow(store);
    again->Action(Command::Find)->trigger();
    QCOMPARE(again->Find().Dialog()->Entries(), QStringList({"PUSH", "push"}));
    QCOMPARE(again->Find().Dialog()->pos(), QPoint(40, 50));
  }

  void f3BeforeAnySearchOpensTheDialog() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    store.WriteText("Find", "0", "CALLSUB");
    store.WriteText("Find", "Mode", "4");
    auto w = LoadWindow(store);
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    QCOMPARE(w->Find().Text(), QString("CALLSUB"));
    w->Action(Command::FindNext)->trigger();
    FindDialog* d = w->Find().Dialog();
    QVERIFY(d != nullptr && d->isVisible());
    QCOMPARE(d->searchTextBox->currentText(), QString("CALLSUB"));
    QVERIFY(d->matchCaseBox->isChecked() && !d->wholeWordBox->isChecked());
    QCOMPARE(w->Listing()->textCursor().hasSelection(), false);

    // After a search F3 goes on from the match, without the dialog.
    d->findFirstButton->click();
    d->close();
    DeleteClosed();
    const QList<int> calls = Matches(w->Listing(), "CALLSUB");
    w->Action(Command::FindNext)->trigger();
    QVERIFY(w->Find().Dialog() == nullptr);
    QCOMPARE(SelectionStart(w->Listing()), calls[1]);
  }

  void selectionProposesTheSearchText() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    QPlainTextEdit* area = w->Listing();
    const QTextBlock line = area->document()->findBlockByNumber(9);  // "0000  00 B4 C4 04 ..."
    Select(area, line.position(), line.next().position() + 4);         // two lines
    w->Action(Command::Find)->trigger();
    FindDialog* d = w->Find().Dialog();
    QCOMPARE(d->searchTextBox->currentText(), line.text());
    QCOMPARE(w->Find().Search().LastFound, line.position());

    // With the dialog open, a selection in the listing becomes the search text.
    const int at = static_cast<int>(area->toPlainText().indexOf("COGIFUN"));
    Select(area, at, at + 7);
    QCOMPARE(d->searchTextBox->currentText(), QString("COGIFUN"));
    // A search selecting its own match leaves the box as typed.
    d->searchTextBox->setEditText("cogifun");
    d->findFirstButton->click();
    QCOMPARE(d->searchTextBox->currentText(), QString("cogifun"));
    QCOMPARE(SelectionStart(area), at);

    // Closing the main window closes the dialog and keeps its list.
    w->close();
    DeleteClosed();
    QVERIFY(w->Find().Dialog() == nullptr);
    QCOMPARE(store.ReadText("Find", "1"), QString("cogifun"));
  }
};

int RunFindTests(int argc, char** argv) {
  FindTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "find_test.moc"
