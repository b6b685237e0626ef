#include "tool/port_controller.h"

#include <QAction>
#include <QApplication>
#include <algorithm>

#include "window/prompt.h"
#include "window/settings_store.h"
#include "window/shell_support.h"

namespace brevin {

bool OpenSerialPort(int /*port*/) { return false; }

void CloseSerialPort(int /*port*/) {}

QString PortPanelText(int port) {
  return port == 0 ? QString(" Auto ") : " COM" + QString::number(port, 16).toUpper() + " ";
}

PortController::PortController(SettingsStore& store, const Items& items,
                               std::function<void(const QString&)> showPort, QObject* parent)
    : QObject(parent), store_(store), items_(items), showPort_(std::move(showPort)) {
  setObjectName("PortController");
  for (int n = 0; n <= kPortItems; ++n) {
    connect(items_.ports[static_cast<std::size_t>(n)], &QAction::triggered, this, [this, n] { SelectPort(n); });
  }
  connect(items_.refresh, &QAction::triggered, this, &PortController::PortScan);
  connect(items_.autoFind, &QAction::triggered, this, &PortController::AutoFindToggled);
}

bool PortController::AutoFindOn() const { return items_.autoFind->isChecked(); }

void PortController::SetUpPortItems() {
  const bool autoFind = AutoFindOn();
  items_.refresh->setEnabled(autoFind);
  if (!autoFind) {
    for (QAction* item : items_.ports) {
      item->setVisible(true);
      item->setEnabled(false);
    }
    return;
  }
  if (maxPorts_ == 0) {
    PortScan();
    return;
  }
  items_.ports[0]->setEnabled(false);
  for (int n = 1; n <= std::min(maxPorts_, kPortItems); ++n) {
    QAction* item = items_.ports[static_cast<std::size_t>(n)];
    item->setVisible(true);
    item->setEnabled(store_.ReadBool("Ports", "COM" + QString::number(n), false));
  }
}

void PortController::PortScan() {
  if (!AutoFindOn()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  maxPorts_ = std::max(maxPorts_, 2);
  for (int n = 1; n <= kPortItems; ++n) {
    QAction* item = items_.ports[static_cast<std::size_t>(n)];
    if (OpenSerialPort(n)) {
      CloseSerialPort(n);
      item->setVisible(true);
      item->setEnabled(true);
      maxPorts_ = std::max(maxPorts_, n);
    } else {
      item->setVisible(n <= maxPorts_);
      item->setEnabled(false);
    }
  }
  QApplication::restoreOverrideCursor();
}

void PortController::SelectPort(int port) {
  if (port < 0 || port > kPortItems) port = 0;  // a stored number without an item means Auto
  portNumber_ = port;
  showPort_(PortPanelText(port));
  for (int n = 0; n <= kPortItems; ++n) items_.ports[static_cast<std::size_t>(n)]->setChecked(n == port);
  if (!probing_ || port == 0 || !AutoFindOn()) return;
  if (OpenSerialPort(port)) {
    CloseSerialPort(port);
    return;
  }
  PortScan();
  Prompt(ProductTitleText(), "Serial Port COM" + QString::number(port) + " is not available for use",
         MessageButtons::Ok, MessageIcon::Warning);
}

void PortController::AutoFindToggled() {
  SetUpPortItems();
  PortScan();
}

void PortController::RestorePorts() {
  const bool eeprom = store_.ReadBool("Ports", "DownloadToEeprom", true);
  items_.toEeprom->setChecked(eeprom);
  items_.toRam->setChecked(!eeprom);
  SetUpPortItems();
  SelectPort(portNumber_);
}

void PortController::Load(const SettingsStore& s) {
  items_.autoFind->setChecked(s.ReadBool("Ports", "AutoFind", false));
  maxPorts_ = std::clamp(s.ReadInt("Ports", "MaxPorts", 0), 0, 8);
  portNumber_ = s.ReadInt("Ports", "Port", 0);
}

void PortController::Save(SettingsStore& s) const {
  const bool autoFind = AutoFindOn();
  s.WriteBool("Ports", "AutoFind", autoFind);
  s.WriteInt("Ports", "Port", portNumber_);
  if (autoFind) {
    s.WriteInt("Ports", "MaxPorts", maxPorts_);
    for (int n = 1; n <= maxPorts_ && n <= 8; ++n) {
      s.WriteBool("Ports", "COM" + QString::number(n), items_.ports[static_cast<std::size_t>(n)]->isEnabled());
    }
  }
  s.WriteBool("Ports", "DownloadToEeprom", items_.toEeprom->isChecked());
}

}  // namespace brevin
