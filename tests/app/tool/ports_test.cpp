// The Download menu's port bookkeeping and the port dialog's frames.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "dialogs/port_dialog.h"
#include "tool/port_controller.h"
#include "test_support.h"

using namespace brevin;
using namespace brevin::test;

namespace {

QAction* Port(MainWindow& w, int n) { return w.Action(Nth(Command::PortAuto, n)); }

}  // namespace

class PortTests : public QObject {
  Q_OBJECT

 private slots:
  void init() { FreshProcess(); }

  void freshStoreShowsEveryPortDisabled() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    for (int n = 0; n <= 8; ++n) {
      QVERIFY(Port(*w, n)->isVisible());
      QVERIFY(!Port(*w, n)->isEnabled());
    }
    QVERIFY(Port(*w, 0)->isChecked());
    QVERIFY(!w->Action(Command::PortRefresh)->isEnabled());
    QCOMPARE(w->StatusPanel(2)->text(), QString(" Auto "));
    QVERIFY(w->Action(Command::DownloadToEeprom)->isChecked());

    // Refresh does nothing while auto-find is off.
    w->Action(Command::PortRefresh)->setEnabled(true);
    w->Action(Command::PortRefresh)->trigger();
    QVERIFY(Port(*w, 8)->isVisible());
    QCOMPARE(w->Ports().MaxPorts(), 0);
    QVERIFY(prompt.asked.isEmpty());
  }

  void autoFindScansAndIsStored() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    w->Action(Command::PortAutoFind)->trigger();
    QVERIFY(w->Action(Command::PortRefresh)->isEnabled());
    for (int n = 1; n <= 8; ++n) {
      QCOMPARE(Port(*w, n)->isVisible(), n <= 2);
      QVERIFY(!Port(*w, n)->isEnabled());
    }
    QCOMPARE(w->Ports().MaxPorts(), 2);

    // Choosing a port after start-up probes it; the placeholder layer always refuses.
    Port(*w, 2)->setEnabled(true);
    Port(*w, 2)->trigger();
    QCOMPARE(w->StatusPanel(2)->text(), QString(" COM2 "));
    QVERIFY(Port(*w, 2)->isChecked() && !Port(*w, 0)->isChecked());
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(prompt.asked[0].text, QString("Serial Port COM2 is not available for use"));
    QCOMPARE(prompt.asked[0].icon, MessageIcon::Warning);
    QVERIFY(!Port(*w, 2)->isEnabled());  // the scan after the failure disabled it again

    w->close();
    QCOMPARE(store.ReadText("Ports", "AutoFind"), QString("True"));
    QCOMPARE(store.ReadText("Ports", "MaxPorts"), QString("2"));
    QCOMPARE(store.ReadText("Ports", "COM1"), QString("False"));
    QCOMPARE(store.ReadText("Ports", "COM2"), QString("False"));
    QVERIFY(!store.Contains("Ports", "COM3"));
    QCOMPARE(store.ReadText("Ports", "Port"), QString("2"));
  }

  void storedStateIsRestored() {
    ScriptedPrompt prompt;
    SettingsStore store(kSettingsAppName);
    store.WriteBool("Ports", "AutoFind", true);
    store.WriteInt("Ports", "MaxPorts", 4);
    store.WriteBool("Ports", "COM3", true);
    store.WriteInt("Ports", "Port", 3);
    store.WriteBool("Ports", "DownloadToEeprom", false);
    auto w = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    QVERIFY(w->Action(Command::DownloadToRam)->isChecked() && !w->Action(Command::DownloadToEeprom)->isChecked());
    QVERIFY(!w->Action(Command::DownloadToEeprom)->isEnabled() && !w->Action(Command::DownloadToRam)->isEnabled());
    QVERIFY(!Port(*w, 0)->isEnabled());
    QVERIFY(Port(*w, 3)->isEnabled() && Port(*w, 3)->isChecked() && Port(*w, 4)->isVisible());
    QVERIFY(!Port(*w, 5)->isVisible());
    QCOMPARE(w->StatusPanel(2)->text(), QString(" COM3 "));
    QVERIFY(prompt.asked.isEmpty());  // no probe while the window loads
    w->close();
    QCOMPARE(store.ReadText("Ports", "DownloadToEeprom"), QString("False"));
    QCOMPARE(store.ReadText("Ports", "COM3"), QString("True"));

    // A stored number without an item means Auto.
    store.WriteInt("Ports", "Port", 12);
    auto again = LoadWindow(store);
    prompt.asked.clear();  // the upgrade notice of a fresh store
    QCOMPARE(again->Ports().PortNumber(), 0);
    QCOMPARE(again->StatusPanel(2)->text(), QString(" Auto "));
    QCOMPARE(PortPanelText(10), QString(" COMA "));
  }

  void dialogSwapsItsFrames() {
    SettingsStore store(kSettingsAppName);
    PortDialog d(store);
    QCOMPARE(d.windowTitle(), QString("Zorvik Downloader for the Propeller Chip"));
    QCOMPARE(d.objectName(), QString("frmFastLoad"));
    QVERIFY(!d.selectedPortGroup->isHidden() && d.enabledPortsGroup->isHidden());
    QCOMPARE(d.portChoices[1]->text(), QString("COM&1"));
    QCOMPARE(d.portEnabledBoxes[8]->accessibleName(), QString("COM8"));
    QCOMPARE(d.portChoices[0]->text(), QString("&Auto-Select Port"));
    QCOMPARE(d.autoFindBox->text(), QString("&Discover Ports"));
    QCOMPARE(d.findChildren<QRadioButton*>().size(), 9);
    QCOMPARE(d.findChildren<QCheckBox*>().size(), 9);

    d.swapDiscoverButton->click();
    QCOMPARE(d.enabledPortsGroup->title(), QString(" Discoverable Ports "));
    QVERIFY(!d.enabledPortsGroup->isHidden() && d.selectedPortGroup->isHidden());
    d.swapDiscoverButton->click();
    QVERIFY(d.enabledPortsGroup->isHidden() && !d.selectedPortGroup->isHidden());

    // The other button shows the frame under its own caption, then the first takes it back.
    d.swapSelectButton->click();
    QCOMPARE(d.enabledPortsGroup->title(), QString(" Auto-Selectable Ports "));
    QVERIFY(!d.enabledPortsGroup->isHidden());
    d.swapDiscoverButton->click();
    QCOMPARE(d.enabledPortsGroup->title(), QString(" Discoverable Ports "));
    QVERIFY(!d.enabledPortsGroup->isHidden() && d.selectedPortGroup->isHidden());

    // Choosing Auto-Select while the frame shows renames it; Discover Ports names it back.
    d.portChoices[0]->click();
    QCOMPARE(d.enabledPortsGroup->title(), QString(" Auto-Selectable Ports "));
    d.autoFindBox->click();
    QCOMPARE(d.enabledPortsGroup->title(), QString(" Discoverable Ports "));

    // One option at a time, across both places.
    d.portChoices[5]->click();
    QVERIFY(d.portChoices[5]->isChecked() && !d.portChoices[0]->isChecked());
    d.portChoices[6]->click();
    QVERIFY(d.portChoices[6]->isChecked() && !d.portChoices[5]->isChecked());
    d.portChoices[6]->click();
    QVERIFY(d.portChoices[6]->isChecked());
    d.portChoices[0]->click();
    QVERIFY(d.portChoices[0]->isChecked() && !d.portChoices[6]->isChecked());
  }

  void dialogPlaceIsStored() {
    SettingsStore store(kSettingsAppName);
    {
      PortDialog d(store);
      d.show();
      d.move(40, 60);
      d.reject();
    }
    QVERIFY(store.Contains("FastLoad", "Top") && store.Contains("FastLoad", "Left"));
    PortDialog again(store);
    QCOMPARE(again.pos(), QPoint(40, 60));
  }

  void dialogScreenshot() {
    SettingsStore store(kSettingsAppName);
    PortDialog d(store);
    d.show();
    QVERIFY(d.grab().save(QString(BREVIN_ARTIFACT_DIR) + "/brevin-port-dialog.png"));
    d.swapSelectButton->click();
    QVERIFY(d.grab().save(QString(BREVIN_ARTIFACT_DIR) + "/brevin-port-dialog-ports.png"));
  }
};

int RunPortTests(int argc, char** argv) {
  PortTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "ports_test.moc"
