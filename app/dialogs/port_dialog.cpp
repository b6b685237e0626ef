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
  framePortSelected = new QGroupBox(this);
  framePortSelected->setObjectName("framePortSelected");
  framePortSelected->setAccessibleName("Port Selected");
  auto* selected = new QGridLayout(framePortSelected);
  for (int n = 1; n <= 8; ++n) {
    optComPort[n] = Make<QRadioButton>(framePortSelected, QString("optComPort(%1)").arg(n), QString("COM&%1").arg(n));
    optComPort[n]->setAutoExclusive(false);
    selected->addWidget(optComPort[n], (n - 1) % 4, (n - 1) / 4);
  }
  cboPorts = new QComboBox(framePortSelected);
  cboPorts->setObjectName("cboPorts");
  cboPorts->setAccessibleName("Serial Ports");
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
    QString text = port.systemLocation();
    if (!port.description().isEmpty()) text += "  (" + port.description() + ")";
    cboPorts->addItem(text, port.systemLocation());
  }
  if (cboPorts->count() == 0) cboPorts->setPlaceholderText("No serial ports found");
  selected->addWidget(cboPorts, 4, 0, 1, 2);
  btnOpen = Make<QPushButton>(framePortSelected, "btnOpen", "&Open");
  btnDownloadToRam = Make<QPushButton>(framePortSelected, "btnDownloadToRam", "&Ram");
  btnDownloadToEeprom = Make<QPushButton>(framePortSelected, "btnDownloadToEeprom", "&Eeprom");
  auto* actions = new QHBoxLayout;
  actions->addWidget(btnOpen);
  actions->addWidget(btnDownloadToRam);
  actions->addWidget(btnDownloadToEeprom);
  selected->addLayout(actions, 5, 0, 1, 2);

  // The ports that may be discovered or auto-selected: eight check boxes.
  framePortsEnabled = new QGroupBox(kDiscoverable, this);
  framePortsEnabled->setObjectName("framePortsEnabled");
  framePortsEnabled->setAccessibleName(QString(kDiscoverable).trimmed());
  auto* enabled = new QGridLayout(framePortsEnabled);
  for (int n = 1; n <= 8; ++n) {
    chkComPort[n] = Make<QCheckBox>(framePortsEnabled, QString("chkComPort(%1)").arg(n), QString("COM&%1").arg(n));
    enabled->addWidget(chkComPort[n], (n - 1) % 4, (n - 1) / 4);
  }
  framePortsEnabled->hide();

  chkAutoFind = Make<QCheckBox>(this, "chkAutoFind", "&Discover Ports");
  btnSwapDiscover = Make<QPushButton>(this, "btnSwapDiscover", "...");
  btnSwapDiscover->setAccessibleName("Show Discoverable Ports");
  btnSwapDiscover->setToolTip("Show the discoverable ports");
  optComPort[0] = Make<QRadioButton>(this, "optComPort(0)", "&Auto-Select Port");
  optComPort[0]->setAutoExclusive(false);
  optComPort[0]->setChecked(true);
  btnSwapSelect = Make<QPushButton>(this, "btnSwapSelect", "...");
  btnSwapSelect->setAccessibleName("Show Auto-Selectable Ports");
  btnSwapSelect->setToolTip("Show the auto-selectable ports");
  for (QPushButton* swap : {btnSwapDiscover, btnSwapSelect}) {
    swap->setAutoDefault(false);
    swap->setFixedWidth(swap->fontMetrics().horizontalAdvance("....") + 16);
  }

  auto* layout = new QGridLayout(this);
  // Both frames sit in one place; exactly one of them is visible.
  layout->addWidget(framePortSelected, 0, 0, 1, 2);
  layout->addWidget(framePortsEnabled, 0, 0, 1, 2);
  layout->addWidget(chkAutoFind, 1, 0);
  layout->addWidget(btnSwapDiscover, 1, 1);
  layout->addWidget(optComPort[0], 2, 0);
  layout->addWidget(btnSwapSelect, 2, 1);

  connect(btnSwapDiscover, &QPushButton::clicked, this, &PortDialog::SwapDiscover);
  connect(btnSwapSelect, &QPushButton::clicked, this, &PortDialog::SwapSelect);
  connect(chkAutoFind, &QCheckBox::clicked, this, [this] {
    if (!framePortsEnabled->isHidden()) {
      framePortsEnabled->setTitle(kDiscoverable);
      framePortsEnabled->setAccessibleName(QString(kDiscoverable).trimmed());
    }
  });
  for (int n = 0; n <= 8; ++n) {
    connect(optComPort[n], &QRadioButton::clicked, this, [this, n] { OptionClicked(n); });
  }

  adjustSize();
  RestorePosition();
}

void PortDialog::Swap(const char* caption) {
  if (framePortsEnabled->title() != caption) {
    framePortsEnabled->setTitle(caption);
    framePortsEnabled->setAccessibleName(QString(caption).trimmed());
    framePortsEnabled->setVisible(true);
  } else {
    framePortsEnabled->setVisible(framePortsEnabled->isHidden());
  }
  framePortSelected->setVisible(framePortsEnabled->isHidden());
}

void PortDialog::SwapDiscover() { Swap(kDiscoverable); }

void PortDialog::SwapSelect() { Swap(kAutoSelectable); }

void PortDialog::OptionClicked(int n) {
  // An option button stays chosen when clicked again.
  optComPort[n]->setChecked(true);
  if (n > 0) {
    optComPort[0]->setChecked(false);
    for (int other = 1; other <= 8; ++other) {
      if (other != n) optComPort[other]->setChecked(false);
    }
    return;
  }
  for (int other = 1; other <= 8; ++other) optComPort[other]->setChecked(false);
  if (!framePortsEnabled->isHidden()) {
    framePortsEnabled->setTitle(kAutoSelectable);
    framePortsEnabled->setAccessibleName(QString(kAutoSelectable).trimmed());
  }
}

double PortDialog::TwipsPerPixel() const {
  const QScreen* shown = screen();
  const double dpi = shown != nullptr && shown->logicalDotsPerInchY() > 0 ? shown->logicalDotsPerInchY() : 96.0;
  return 1440.0 / dpi;
}

void PortDialog::RestorePosition() {
  const double twips = TwipsPerPixel();
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
  const double twips = TwipsPerPixel();
  store_.WriteInt("FastLoad", "Top", std::lround(y() * twips));
  store_.WriteInt("FastLoad", "Left", std::lround(x() * twips));
  store_.Sync();
}

void PortDialog::done(int result) {
  SavePosition();
  QDialog::done(result);
}

}  // namespace brevin
