// The docks as a reader leaves them come back at the next start (the window's
// dock state is saved with its place), and at 1600 pixels the Outline shows
// its entries whole from the first listing on.
#include <QDockWidget>
#include <QTreeWidget>
#include <QtTest>

#include "listing/listing_navigator.h"
#include "listing/outline_dock.h"
#include "recovery/spin_source_controller.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

class DockLayoutTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void outlineWidthAndSpinSourceHeightSurviveARestart() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    QTemporaryDir dir;
    const QString image = CopySample(dir, "adc_scope.eeprom", "adc_scope.eeprom");
    int outlineWidth = 0;
    {
      auto w = LoadWindow(store);
      w->resize(1600, 1000);
      w->show();
      QVERIFY(QTest::qWaitForWindowExposed(w.get()));
      w->Document().OpenFile(image);
      QCoreApplication::processEvents();
      // Wide enough for every entry, as the listing shows its first image.
      const QAbstractItemView* tree = w->navigator()->Outline()->Tree();
      QVERIFY2(tree->sizeHintForColumn(0) <= tree->viewport()->width(),
               qPrintable(QString("%1 > %2").arg(tree->sizeHintForColumn(0)).arg(tree->viewport()->width())));
      QVERIFY(w->navigator()->Outline()->width() <= 400);

      w->Action(Command::ShowSpinSource)->trigger();
      QCoreApplication::processEvents();
      w->resizeDocks({w->SpinSource().Dock()}, {333}, Qt::Vertical);
      w->resizeDocks({w->navigator()->Outline()}, {outlineWidth = w->navigator()->Outline()->width() + 37},
                     Qt::Horizontal);
      QCoreApplication::processEvents();
      QCOMPARE(w->SpinSource().Dock()->height(), 333);
      w->close();
    }
    auto w = LoadWindow(store);
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QCoreApplication::processEvents();
    // The image was listed again at the start; the Outline kept the reader's width.
    QVERIFY(w->Document().ListingShown());
    QVERIFY(w->SpinSource().Dock()->isVisible());
    QCOMPARE(w->SpinSource().Dock()->height(), 333);
    QCOMPARE(w->navigator()->Outline()->width(), outlineWidth);
  }
};

int RunDockLayoutTests(int argc, char** argv) {
  DockLayoutTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "dock_layout_test.moc"
