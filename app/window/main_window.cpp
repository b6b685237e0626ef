#include "window/main_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "tool/debug_flags.h"
#include "dialogs/debug_window.h"
#include "dialogs/find_dialog.h"
#include "window/shell_support.h"
#include "desktop/desktop_icons.h"
#include "desktop/desktop_integration.h"
#include "engine.h"
#include "window/settings_store.h"
#include "tables.h"
#include "listing/text_area.h"
#include "listing/text_search.h"
#include "listing/listing_navigator.h"
#include "instance_guard.h"
#include "window/shell_host.h"
#include "version_text.h"
#include "window/window_placement.h"

namespace brevin {

QFont DefaultListingFont() {
  QFont font;
  if (QFontDatabase::families().contains("Courier New")) {
    font = QFont("Courier New");
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setBold(false);
  font.setItalic(false);
  font.setPointSizeF(8.25);
  return font;
}

namespace {

QString ShowFileDialog(QWidget* parent, const QString& title, const QString& folder, const QString& fileName,
                       const QString& filter) {
  QFileDialog dialog(parent, title, folder, filter);
  dialog.setObjectName("FileDialogue");
  dialog.setAccessibleName(title);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  if (!fileName.isEmpty()) dialog.selectFile(fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().front();
}

}  // namespace

MainWindow::MainWindow(SettingsStore& store, QWidget* parent)
    : QMainWindow(parent), store_(store), host_(std::make_unique<ShellHost>(*this)),
      engine_(std::make_unique<Engine>(*host_)),
      search_(std::make_unique<TextSearch>(FindText, FindMode)) {
  setObjectName("MainWindow");
  setWindowTitle(ProductTitleText());
  setAccessibleName("Brevin");
  // The bars are shown and hidden through the Options menu only, not a context menu.
  setContextMenuPolicy(Qt::PreventContextMenu);

  txtDisplay = new QPlainTextEdit(this);
  txtDisplay->setObjectName("txtDisplay");
  txtDisplay->setAccessibleName("Listing");
  txtDisplay->setReadOnly(true);
  txtDisplay->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  txtDisplay->setFont(DefaultListingFont());
  setCentralWidget(txtDisplay);

  BuildMenus();
  BuildToolbar();
  BuildStatusBar();

  ReloadTimer = new QTimer(this);
  ReloadTimer->setObjectName("ReloadTimer");
  ReloadTimer->setInterval(1000);

  ChooseOpenFile = [this](const QString& title, const QString& folder, const QString& fileName,
                          const QString& filter) { return ShowFileDialog(this, title, folder, fileName, filter); };
  ConnectCommands();
  ConnectTools();
  ApplyDesktopIntegration(*this);
  navigator_ = new ListingNavigator(*this, store_);

  // Design placement: a comfortable listing size, centred on the primary screen
  // and never larger than its free area.
  CentreWindow(*this, QSize(960, 680));
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildToolbar() {
  Toolbar = new QToolBar(this);
  Toolbar->setObjectName("Toolbar");
  Toolbar->setAccessibleName("Toolbar");
  Toolbar->setMovable(false);
  Toolbar->setFloatable(false);
  Toolbar->setIconSize(QSize(16, 16));
  addToolBar(Qt::TopToolBarArea, Toolbar);

  struct Button {
    const char* tip;
    bool enabled;
    bool separatorAfter;
  };
  static constexpr Button kButtons[] = {
      {"Exit", true, true},
      {"Refresh", true, false},
      {"Open", true, false},
      {"Save", false, true},
      {"Print", false, false},
      {"Copy", false, false},
      {"Find", false, true},
      {"Download", false, false},
  };
  for (const Button& b : kButtons) {
    // Our own icons: without an icon theme the style's standard ones mislead.
    QAction* button = Toolbar->addAction(ToolbarIcon(b.tip), b.tip);
    button->setToolTip(b.tip);
    button->setObjectName(QString("Toolbar_") + b.tip);
    button->setEnabled(b.enabled);
    if (b.separatorAfter) Toolbar->addSeparator();
  }
  connect(Toolbar, &QToolBar::actionTriggered, this, &MainWindow::Toolbar_ButtonClick);
}

void MainWindow::BuildStatusBar() {
  struct Panel {
    const char* text;
    const char* tip;
  };
  static constexpr Panel kPanels[] = {
      {"No Image Loaded", "Loaded Image Filename"}, {"Empty Image", "Image Size"}, {" Auto ", "Download Port"}};
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar");
  bar->setAccessibleName("Status bar");
  bar->setSizeGripEnabled(true);
  for (std::size_t i = 0; i < StatusPanel.size(); ++i) {
    auto* panel = new QLabel(kPanels[i].text, bar);
    panel->setObjectName("lblStatus" + QString::number(i + 1));
    panel->setToolTip(kPanels[i].tip);
    panel->setAccessibleName(kPanels[i].tip);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextInteractionFlags(Qt::NoTextInteraction);
    StatusPanel[i] = panel;
    if (i == 0) {
      panel->setMinimumWidth(120);
      bar->addWidget(panel, 1);
    } else {
      bar->addPermanentWidget(panel);
    }
  }
  bar->hide();  // "&Status Bar" is off by design
}

QAction* MainWindow::Item(const QString& name) const { return items_.value(name, nullptr); }

QAction* MainWindow::ToolbarButton(const QString& key) const {
  for (QAction* button : Toolbar->actions()) {
    if (!button->isSeparator() && button->toolTip().toUpper() == key) return button;
  }
  return nullptr;
}

void MainWindow::SetToolbarButton(const QString& key, bool enabled) {
  if (QAction* button = ToolbarButton(key)) button->setEnabled(enabled);
}

void MainWindow::ApplyBars() {
  Toolbar->setVisible(Item("mnuOptions_ShowToolbar")->isChecked());
  statusBar()->setVisible(Item("mnuOptions_ShowStatusBar")->isChecked());
  Form_Resize();
}

// The listing area fills the space between the bars (the main window's layout
// does that, and never gives it a negative height); what is left is the caption.
void MainWindow::Form_Resize() {
  if (LastFile.isEmpty()) return;
  const QString base = BaseNameOf(LastFile);
  if (isMinimized()) {
    setWindowTitle(base + " - Disassembler");
  } else {
    setWindowTitle(ProductTitleText() + " - " +
                   base);
  }
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  Form_Resize();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  closing_ = true;
  CloseToolWindows();
  SaveSettings();
  if (Process().DeveloperMode) {
    SaveDebugFlags(store_, SharedTables().Spin, engine_->SeenOpcodes(), engine_->SeenEffects(), DateTimeStamp());
  }
  event->accept();
}

double MainWindow::TwipsPerPixel() const {
  const QScreen* shown = screen();
  const double dpi = shown != nullptr && shown->logicalDotsPerInchY() > 0 ? shown->logicalDotsPerInchY() : 96.0;
  return 1440.0 / dpi;
}

void MainWindow::SetListingFont(const QFont& font) { ApplyListingFont(txtDisplay, font); }

}  // namespace brevin
