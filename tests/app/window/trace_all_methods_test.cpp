// View "Trace All Methods": off by design; a listing that leaves methods
// undecoded says so above it and in the status bar, and the outline lists those methods
// dimmed but clickable; checked, the listing decodes them and the mark is kept.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QtTest>

#include "listing/listing_navigator.h"
#include "listing/outline_dock.h"
#include "window/notice_bar.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

class TraceAllMethodsTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void untracedMethodsAreShownThenDecodedAndTheMarkIsKept() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    QTemporaryDir dir;
    const QString image = CopySample(dir, "adc_scope.binary", "adc_scope.binary");
    {
      auto w = LoadWindow(store);
      QAction* item = w->Action(Command::TraceAllMethods);
      QCOMPARE(item->text(), QString("Trace All &Methods"));
      QVERIFY(item->isCheckable() && !item->isChecked());
      w->Document().OpenFile(image);
      QCOMPARE(w->statusBar()->currentMessage(),
               QString("6 of 23 methods are not called from the program; View > Trace All Methods decodes them"));

      // Every method is in the outline; the six untraced ones dimmed, and a click goes there.
      QTreeWidget* tree = w->navigator()->Outline()->Tree();
      QList<QTreeWidgetItem*> untraced;
      int methods = 0;
      for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* object = tree->topLevelItem(i);
        if (!object->text(0).startsWith("Object")) continue;
        for (int k = 0; k < object->childCount(); ++k) {
          QTreeWidgetItem* entry = object->child(k);
          if (entry->text(0).startsWith("ORG 0")) continue;
          ++methods;
          if (entry->text(0).endsWith(" (not traced)")) untraced << entry;
        }
      }
      QCOMPARE(methods, 23);
      QCOMPARE(untraced.size(), 6);
      QCOMPARE(untraced.front()->foreground(0).color(), tree->palette().color(QPalette::Disabled, QPalette::Text));
      emit tree->itemClicked(untraced.front(), 0);
      const int line = w->Listing()->textCursor().blockNumber();
      QCOMPARE(w->analysis()->lines[static_cast<std::size_t>(line)].address,
               untraced.front()->data(0, Qt::UserRole + 1).toInt());

      // The notice is also above the listing, seen with the status bar hidden (by
      // default); its button checks the option, which lists again at once
      // although Auto-Refresh is off.
      QVERIFY(w->statusBar()->isHidden() && !w->Action(Command::AutoRefresh)->isChecked());
      QCOMPARE(w->Notice()->Text(), w->statusBar()->currentMessage());
      QCOMPARE(w->Notice()->Button()->text(), QString("Trace All Methods"));
      w->Notice()->Button()->click();
      QVERIFY(item->isChecked());
      QVERIFY(w->statusBar()->currentMessage().isEmpty());
      QVERIFY(w->Notice()->isHidden());
      QVERIFY(tree->findItems(" (not traced)", Qt::MatchEndsWith | Qt::MatchRecursive).isEmpty());
      QVERIFY(w->Listing()->toPlainText().contains("S65      CALLFUN  F64 ( VL23 )"));
      w->close();
    }
    QCOMPARE(store.ReadText("Settings", "TraceAllMethods"), QString("True"));
    auto w = LoadWindow(store);
    QVERIFY(w->Action(Command::TraceAllMethods)->isChecked());
  }
};

int RunTraceAllMethodsTests(int argc, char** argv) {
  TraceAllMethodsTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "trace_all_methods_test.moc"
