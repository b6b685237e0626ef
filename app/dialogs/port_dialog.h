// The port dialog "Zorvik Downloader for the Propeller Chip" (opened by the
// /DOWNLOAD switch). Downloading is not available in this version: the dialog
// shows the port choices and switches between its two frames, and its buttons
// have no further actions. The drop-down list shows the machine's serial ports
// so a user sees what is attached; none is opened.
#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace brevin {

class SettingsStore;

class PortDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PortDialog(SettingsStore& store, QWidget* parent = nullptr);

  // The two captions of the ports frame.
  static constexpr const char* kDiscoverable = " Discoverable Ports ";
  static constexpr const char* kAutoSelectable = " Auto-Selectable Ports ";

  void SwapDiscover();
  void SwapSelect();

  QGroupBox* selectedPortGroup = nullptr;
  QGroupBox* enabledPortsGroup = nullptr;
  std::array<QRadioButton*, 9> portChoices{};  // 0 "&Auto-Select Port", 1..8 "COM&1".."COM&8"
  std::array<QCheckBox*, 9> portEnabledBoxes{};     // 1..8; entry 0 unused
  QCheckBox* autoFindBox = nullptr;
  QPushButton* swapDiscoverButton = nullptr;
  QPushButton* swapSelectButton = nullptr;
  QPushButton* openButton = nullptr;
  QPushButton* downloadToRamButton = nullptr;
  QPushButton* downloadToEepromButton = nullptr;
  QComboBox* portList = nullptr;

 protected:
  void done(int result) override;

 private:
  void Swap(const char* caption);
  void OptionClicked(int n);
  void RestorePosition();
  void SavePosition();

  SettingsStore& store_;
};

}  // namespace brevin
