// The Download menu's port bookkeeping: which port items are shown and
// usable, the selected port (PortNumber), the highest port seen (MaxPorts),
// the status-bar port panel and the messages.
//
// No data is ever sent to a chip in this version: the serial layer is a
// placeholder whose open always fails, so a port scan finds nothing beyond the
// ports remembered from earlier scans, and the Run and target items stay
// disabled.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>

class QAction;

namespace brevin {

class SettingsStore;

// The serial layer's placeholder: every open fails; close does nothing.
bool OpenSerialPort(int port);
void CloseSerialPort(int port);

// The number of port items after Auto ("COM&1" to "COM&8").
inline constexpr int kPortItems = 8;

// " Auto " for port 0, otherwise " COM" + the number in hexadecimal + " ".
QString PortPanelText(int port);

class PortController : public QObject {
  Q_OBJECT

 public:
  // The menu items the controller drives.
  struct Items {
    std::array<QAction*, kPortItems + 1> ports{};  // "&Auto", "COM&1" .. "COM&8"
    QAction* autoFind = nullptr;                   // Options > "&Port Auto-Find"
    QAction* refresh = nullptr;                    // Download > "Re&fresh"
    QAction* toEeprom = nullptr;
    QAction* toRam = nullptr;
  };
  // showPort shows a port's panel text in the status bar.
  PortController(SettingsStore& store, const Items& items, std::function<void(const QString&)> showPort,
                 QObject* parent);

  int PortNumber() const { return portNumber_; }
  int MaxPorts() const { return maxPorts_; }

  // Sets up the port items from the auto-find mark and the stored states.
  void SetUpPortItems();
  // The Refresh item: tries every port (only while auto-find is on).
  void PortScan();
  // Chooses port n (0 = Auto): status panel, check mark, and once probing is
  // on (the window has loaded), a probe that warns when the port cannot be opened.
  void SelectPort(int port);
  // The "&Port Auto-Find" item, after its check mark was inverted.
  void AutoFindToggled();
  // Start-up: the stored download target, the port set-up and the stored port.
  void RestorePorts();
  void SetProbing(bool on) { probing_ = on; }

  // The "Ports" section: the auto-find mark, the port, the highest port and
  // each port's state.
  void Load(const SettingsStore& store);
  void Save(SettingsStore& store) const;

 private:
  bool AutoFindOn() const;

  SettingsStore& store_;
  Items items_;
  std::function<void(const QString&)> showPort_;
  int portNumber_ = 0;
  int maxPorts_ = 0;
  bool probing_ = false;
};

}  // namespace brevin
