#include "dialogs/port_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSerialPortInfo>
#include <QVBoxLayout>
#include <cmath>

#include "window/settings_store.h"
#include "window/window_placement.h"
#include "window/shell_support.h"

namespace brevin {

namespace {

template <typename Control>
Control* Make(QWidget* parent, const QString& name, const QString& caption) {
  auto* control = new Control(caption, parent);
  control->setObjectName(name);
  control->setAccessibleName(QString(caption).remove('&').trimmed());
  return control;
}

}  // namespace

PortDialog::PortDialog(SettingsStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setObjectName("frmFastLoad");
  setWindowTitle(kDownloaderTitle);
  setAccessibleName(kDownloaderTitle);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  // The selected port: eight option buttons, the buttons and the machine's ports.
  selectedPortGroup = new QGroupBox(this);
  selectedPortGroup->setObjectName("selectedPortGroup");
  selectedPortGroup->setAccessibleName("Port Selected");
  auto* selected = new QGridLayout(selectedPortGroup);
  for (int n = 1; n <= 8; ++n) {
    portChoices[n] = Make<QRadioButton>(selectedPortGroup, QString("portChoices(%1)").arg(n), QString("COM&%1").arg(n));
    portChoices[n]->setAutoExclusive(false);
    selected->addWidget(portChoices[n], (n - 1) % 4, (n - 1) / 4);
  }
  portList = new QComboBox(selectedPortGroup);
  portList->setObjectName("portList");
  portList->setAccessibleName("Serial Ports");
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
    QString text = port.systemLocation();
    if (!port.description().isEmpty()) text += "  (" + port.description() + ")";
    portList->addItem(text, port.systemLocation());
  }
  if (portList->count() == 0) portList->setPlaceholderText("No serial ports found");
  selected->addWidget(portList, 4, 0, 1, 2);
  openButton = Make<QPushButton>(selectedPortGroup, "openButton", "&Open");
  downloadToRamButton = Make<QPushButton>(selectedPortGroup, "downloadToRamButton", "&Ram");
  downloadToEepromButton = Make<QPushButton>(selectedPortGroup, "downloadToEepromButton", "&Eeprom");
  auto* actions = new QHBoxLayout;
  actions->addWidget(openButton);
  actions->addWidget(downloadToRamButton);
  actions->addWidget(downloadToEepromButton);
  selected->addLayout(actions, 5, 0, 1, 2);

  // The ports that may be discovered or auto-selected: eight check boxes.
  enabledPortsGroup = new QGroupBox(kDiscoverable, this);
  enabledPortsGroup->setObjectName("enabledPortsGroup");
  enabledPortsGroup->setAccessibleName(QString(kDiscoverable).trimmed());
  auto* enabled = new QGridLayout(enabledPortsGroup);
  for (int n = 1; n <= 8; ++n) {
    portEnabledBoxes[n] = Make<QCheckBox>(enabledPortsGroup, QString("portEnabledBoxes(%1)").arg(n), QString("COM&%1").arg(n));
    enabled->addWidget(portEnabledBoxes[n], (n - 1) % 4, (n - 1) / 4);
  }
  enabledPortsGroup->hide();

  autoFindBox = Make<QCheckBox>(this, "autoFindBox", "&Discover Ports");
  swapDiscoverButton = Make<QPushButton>(this, "swapDiscoverButton", "...");
  swapDiscoverButton->setAccessibleName("Show Discoverable Ports");
  swapDiscoverButton->setToolTip("Show the discoverable ports");
  portChoices[0] = Make<QRadioButton>(this, "portChoices(0)", "&Auto-Select Port");
  portChoices[0]->setAutoExclusive(false);
  portChoices[0]->setChecked(true);
  swapSelectButton = Make<QPushButton>(this, "swapSelectButton", "...");
  swapSelectButton->setAccessibleName("Show Auto-Selectable Ports");
  swapSelectButton->setToolTip("Show the auto-selectable ports");
  for (QPushButton* swap : {swapDiscoverButton, swapSelectButton}) {
    swap->setAutoDefault(false);
    swap->setFixedWidth(swap->fontMetrics().horizontalAdvance("....") + 16);
  }

  auto* layout = new QGridLayout(this);
  // Both frames sit in one place; exactly one of them is visible.
  layout->addWidget(selectedPortGroup, 0, 0, 1, 2);
  layout->addWidget(enabledPortsGroup, 0, 0, 1, 2);
  layout->addWidget(autoFindBox, 1, 0);
  layout->addWidget(swapDiscoverButton, 1, 1);
  layout->addWidget(portChoices[0], 2, 0);
  layout->addWidget(swapSelectButton, 2, 1);

  connect(swapDiscoverButton, &QPushButton::clicked, this, &PortDialog::SwapDiscover);
  connect(swapSelectButton, &QPushButton::clicked, this, &PortDialog::SwapSelect);
  connect(autoFindBox, &QCheckBox::clicked, this, [this] {
    if (!enabledPortsGroup->isHidden()) {
      enabledPortsGroup->setTitle(kDiscoverable);
      enabledPortsGroup->setAccessibleName(QString(kDiscoverable).trimmed());
    }
  });
  for (int n = 0; n <= 8; ++n) {
    connect(portChoices[n], &QRadioButton::clicked, this, [this, n] { OptionClicked(n); });
  }

  adjustSize();
  RestorePosition();
}

void PortDialog::Swap(const char* caption) {
  if (enabledPortsGroup->title() != caption) {
    enabledPortsGroup->setTitle(caption);
    enabledPortsGroup->setAccessibleName(QString(caption).trimmed());
    enabledPortsGroup->setVisible(true);
  } else {
    enabledPortsGroup->setVisible(enabledPortsGroup->isHidden());
  }
  selectedPortGroup->setVisible(enabledPortsGroup->isHidden());
}

void PortDialog::SwapDiscover() { Swap(kDiscoverable); }

void PortDialog::SwapSelect() { Swap(kAutoSelectable); }

void PortDialog::OptionClicked(int n) {
  // An option button stays chosen when clicked again.
  portChoices[n]->setChecked(true);
  if (n > 0) {
    portChoices[0]->setChecked(false);
    for (int other = 1; other <= 8; ++other) {
      if (other != n) portChoices[other]->setChecked(false);
    }
    return;
  }
  for (int other = 1; other <= 8; ++other) portChoices[other]->setChecked(false);
  if (!enabledPortsGroup->isHidden()) {
    enabledPortsGroup->setTitle(kAutoSelectable);
    enabledPortsGroup->setAccessibleName(QString(kAutoSelectable).trimmed());
  }
}

void PortDialog::RestorePosition() {
  const double twips = StoredUnitsPerPixel(this);
  QPoint centred(0, 0);
  if (const QScreen* primary = QGuiApplication::primaryScreen()) {
    const QRect area = primary->availableGeometry();
    centred = QPoint(area.x() + std::max(0, (area.width() - width()) / 2),
                     area.y() + std::max(0, (area.height() - height()) / 2));
  }
  const int top = static_cast<int>(std::lround(store_.ReadDouble("FastLoad", "Top", centred.y() * twips) / twips));
  const int left = static_cast<int>(std::lround(store_.ReadDouble("FastLoad", "Left", centred.x() * twips) / twips));
  // A place on a screen that is no longer attached would hide the dialog.
  bool onScreen = QGuiApplication::screens().isEmpty();
  for (const QScreen* screen : QGuiApplication::screens()) {
    onScreen |= screen->availableGeometry().intersects(QRect(left, top, std::max(width(), 1), 32));
  }
  move(onScreen ? QPoint(left, top) : centred);
}

void PortDialog::SavePosition() {
  if (windowState() != Qt::WindowNoState) return;
  const double twips = StoredUnitsPerPixel(this);
  store_.WriteInt("FastLoad", "Top", std::lround(y() * twips));
  store_.WriteInt("FastLoad", "Left", std::lround(x() * twips));
  store_.Sync();
}

void PortDialog::done(int result) {
  SavePosition();
  QDialog::done(result);
}

}  // namespace brevin
