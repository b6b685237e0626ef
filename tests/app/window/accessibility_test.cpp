// Screen readers and end-to-end tests find the program's windows and widgets by
// their accessible names: every window, dialog and widget class of our own needs one.
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QtTest>

#include "dialogs/debug_window.h"
#include "dialogs/file_search_dialog.h"
#include "dialogs/find_dialog.h"
#include "window/main_window.h"
#include "dialogs/port_dialog.h"
#include "window/settings_store.h"
#include "window/shell_support.h"
#include "test_support.h"
#include "listing/listing_navigator.h"
#include "window/notice_bar.h"

using namespace brevin;
using namespace brevin::test;

class AccessibilityTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void everyWindowAndOwnWidgetHasAName() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QVERIFY(w != nullptr);
    w->Action(Command::DebugSpin)->trigger();
    w->Document().OpenFile(SamplePath("led_chaser.eeprom"));
    w->Action(Command::Find)->trigger();
    QVERIFY(w->Find().Dialog() != nullptr && w->DebugInfo() != nullptr);
    PortDialog ports(store);
    FileSearchDialog search("Propeller Manual", "propeller.exe", QString());

    QStringList unnamed;
    for (QWidget* widget : QApplication::allWidgets()) {
      const QString cls = widget->metaObject()->className();
      const bool ours = cls.startsWith("brevin::");
      const bool window = widget->isWindow() && widget->windowType() != Qt::ToolTip &&
                          widget->windowType() != Qt::Popup && !widget->inherits("QMenu");
      if ((ours || window) && widget->accessibleName().isEmpty()) unnamed << cls + " " + widget->objectName();
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    QCOMPARE(w->Listing()->accessibleName(), QString("Listing"));
  }

  // What a screen reader says for every control one can reach with the
  // keyboard, and for every dock, with the docks and the notice shown.
  void everyControlAndDockIsNamed() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    QVERIFY(w != nullptr);
    w->show();
    w->Action(Command::ShowSpinSource)->trigger();
    w->Action(Command::DebugSpin)->trigger();  // the debug window opens with the load
    w->Document().OpenFile(SamplePath("adc_scope.eeprom"));  // some methods untraced: the notice shows
    QVERIFY(!w->Notice()->isHidden());
    w->navigator()->ShowGoTo();
    w->Action(Command::Find)->trigger();
    PortDialog ports(store);
    ports.show();
    FileSearchDialog search("Propeller Manual", "propeller.exe", QString());
    search.show();
    QCoreApplication::processEvents();

    QStringList unnamed;
    for (QWidget* widget : QApplication::allWidgets()) {
      if (!widget->isVisible() || widget->inherits("QMenu") || widget->inherits("QMenuBar")) continue;
      const bool control = widget->focusPolicy() != Qt::NoFocus || widget->inherits("QDockWidget");
      if (!control) continue;
      QAccessibleInterface* said = QAccessible::queryAccessibleInterface(widget);
      if (said == nullptr || said->text(QAccessible::Name).trimmed().isEmpty()) {
        unnamed << QString(widget->metaObject()->className()) + " " + widget->objectName() + " in " +
                       (widget->window() != nullptr ? widget->window()->objectName() : QString());
      }
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
  }

  void statusPanelsSayTheirValueAndDescribeTheirRole() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    w->Action(Command::ShowStatusBar)->trigger();
    // What a screen reader asks each panel for: its name (the value) and its description (the role).
    const auto heard = [&w](int i) {
      QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(w->StatusPanel(i));
      return panel->text(QAccessible::Name) + " | " + panel->text(QAccessible::Description);
    };
    QCOMPARE(heard(0), QString("No Image Loaded | Loaded Image Filename"));
    QCOMPARE(heard(1), QString("Empty Image | Image Size"));
    QCOMPARE(heard(2), QString("Auto | Download Port"));
    const QString image = SamplePath("led_chaser.eeprom");
    w->Document().OpenFile(image);
    QCOMPARE(heard(0), image + " | Loaded Image Filename");
    QCOMPARE(heard(1), w->StatusPanel(1)->text().trimmed() + " | Image Size");
    QVERIFY(w->StatusPanel(1)->text() != "Empty Image");
    w->Ports().SelectPort(3);
    QCOMPARE(heard(2), QString("COM3 | Download Port"));
    QCOMPARE(w->StatusPanel(2)->toolTip(), QString("Download Port"));
  }
};

int RunAccessibilityTests(int argc, char** argv) {
  AccessibilityTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "accessibility_test.moc"
