#include "tool/port_menu.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <algorithm>

#include "window/main_window.h"
#include "window/prompt.h"
#include "window/settings_store.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

QAction* PortItem(MainWindow& window, int n) { return window.Item(QString("mnuPort_ComPort(%1)").arg(n)); }

bool AutoFindOn(MainWindow& window) { return window.Item("mnuOptions_PortAutoFind")->isChecked(); }

}  // namespace

bool Serial_OpenPort(int /*port*/) { return false; }

void Serial_ClosePort(int /*port*/) {}

QString PortPanelText(int port) {
  return port == 0 ? QString(" Auto ") : " COM" + QString::number(port, 16).toUpper() + " ";
}

void Serial_AutoFind(MainWindow& window) {
  const bool autoFind = AutoFindOn(window);
  window.Item("mnuPort_Refresh")->setEnabled(autoFind);
  if (!autoFind) {
    for (int n = 0; n <= kPortItems; ++n) {
      PortItem(window, n)->setVisible(true);
      PortItem(window, n)->setEnabled(false);
    }
    return;
  }
  if (window.MaxPorts == 0) {
    PortScan(window);
    return;
  }
  PortItem(window, 0)->setEnabled(false);
  for (int n = 1; n <= std::min(window.MaxPorts, kPortItems); ++n) {
    PortItem(window, n)->setVisible(true);
    PortItem(window, n)->setEnabled(window.store().ReadBool("Ports", "COM" + QString::number(n), false));
  }
}

void PortScan(MainWindow& window) {
  if (!AutoFindOn(window)) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  window.MaxPorts = std::max(window.MaxPorts, 2);
  for (int n = 1; n <= kPortItems; ++n) {
    QAction* item = PortItem(window, n);
    if (Serial_OpenPort(n)) {
      Serial_ClosePort(n);
      item->setVisible(true);
      item->setEnabled(true);
      window.MaxPorts = std::max(window.MaxPorts, n);
    } else {
      item->setVisible(n <= window.MaxPorts);
      item->setEnabled(false);
    }
  }
  QApplication::restoreOverrideCursor();
}

void SelectPort(MainWindow& window, int port) {
  if (port < 0 || port > kPortItems) port = 0;  // a stored number without an item means Auto
  window.PortNumber = port;
  window.StatusPanel[2]->setText(PortPanelText(port));
  for (int n = 0; n <= kPortItems; ++n) PortItem(window, n)->setChecked(n == port);
  if (!window.Loaded() || port == 0 || !AutoFindOn(window)) return;
  if (Serial_OpenPort(port)) {
    Serial_ClosePort(port);
    return;
  }
  PortScan(window);
  Prompt(ProductTitleText(), "Serial Port COM" + QString::number(port) + " is not available for use",
         MessageButtons::Ok, MessageIcon::Warning);
}

void PortAutoFindToggled(MainWindow& window) {
  Serial_AutoFind(window);
  PortScan(window);
}

void RestorePorts(MainWindow& window) {
  const bool eeprom = window.store().ReadBool("Ports", "DownloadToEeprom", true);
  window.Item("mnuPort_Download(0)")->setChecked(eeprom);
  window.Item("mnuPort_Download(1)")->setChecked(!eeprom);
  Serial_AutoFind(window);
  SelectPort(window, window.PortNumber);
}

}  // namespace brevin
