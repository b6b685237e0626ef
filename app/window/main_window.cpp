#include "window/main_window.h"

#include <QCloseEvent>
#include <QFontDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include "tool/debug_flags.h"
#include "dialogs/debug_window.h"
#include "document/document_controller.h"
#include "listing/find_controller.h"
#include "listing/listing_view.h"
#include "listing/outline_dock.h"
#include "recovery/spin_source_controller.h"
#include "recovery/spin_source_highlighter.h"
#include "recovery/spin_source_view.h"
#include "tool/port_controller.h"
#include "tool/propeller_tool_install.h"
#include "window/shell_support.h"
#include "desktop/desktop_icons.h"
#include "desktop/desktop_integration.h"
#include "brevin/engine.h"
#include "window/settings_store.h"
#include "listing/text_area.h"
#include "listing/listing_navigator.h"
#include "instance_guard.h"
#include <QMenu>
#include "brevin/version_text.h"
#include "window/notice_bar.h"
#include "window/window_placement.h"

namespace brevin {

MainWindow::MainWindow(SettingsStore& store, QWidget* parent)
    : QMainWindow(parent), store_(store), tool_(std::make_unique<PropellerTool>(this)) {
  setObjectName("MainWindow");
  setWindowTitle(ProductTitleText());
  setAccessibleName("Brevin");
  // The bars are shown and hidden through the Options menu only, not a context menu.
  setContextMenuPolicy(Qt::PreventContextMenu);

  // The listing, with the notice line above it (hidden while there is nothing to say).
  auto* centre = new QWidget(this);
  centre->setObjectName("ListingArea");
  centre->setAccessibleName("Listing area");
  auto* column = new QVBoxLayout(centre);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  noticeBar_ = new NoticeBar(centre);
  listingView_ = new ListingView(centre);
  listingView_->setFont(DefaultListingFont());
  column->addWidget(noticeBar_);
  column->addWidget(listingView_, 1);
  setCentralWidget(centre);

  BuildMenus();
  BuildToolbar();
  BuildStatusBar();

  DocumentController::Hooks hooks;
  hooks.options = [this] { return CurrentOptions(); };
  hooks.keepPlace = [this] { return Action(Command::KeepPosition)->isChecked(); };
  hooks.saveSettings = [this] { SaveSettings(); };
  document_ = new DocumentController(*listingView_, std::move(hooks), this);
  connect(document_, &DocumentController::listed, this, &MainWindow::ShowListed);
  connect(document_, &DocumentController::referenceShown, this, &MainWindow::ShowReferenceCommands);
  connect(document_, &DocumentController::debugOutputReady, this, &MainWindow::ShowDebugOutput);
  connect(document_, &DocumentController::refreshing, this, [this] {
    if (debugWindow_) debugWindow_->ClearText();
  });

  PortController::Items portItems;
  for (int n = 0; n <= kPortItems; ++n) portItems.ports[static_cast<std::size_t>(n)] = Action(Nth(Command::PortAuto, n));
  portItems.autoFind = Action(Command::PortAutoFind);
  portItems.refresh = Action(Command::PortRefresh);
  portItems.toEeprom = Action(Command::DownloadToEeprom);
  portItems.toRam = Action(Command::DownloadToRam);
  ports_ = new PortController(store_, portItems, [this](const QString& text) { SetStatusPanel(2, text); }, this);

  find_ = new FindController(store_, this);
  chooseFont_ = [this](const QString& title, QFont& font) {
    bool accepted = false;
    const QFont chosen = QFontDialog::getFont(&accepted, font, this, title, QFontDialog::MonospacedFonts);
    if (accepted) font = chosen;
    return accepted;
  };

  ConnectCommands();
  ConnectNoticeBar();
  navigator_ = new ListingNavigator(*this, *listingView_, store_);
  spinSource_ = new SpinSourceController(*this, *listingView_, Action(Command::ShowSpinSource));
  connect(spinSource_, &SpinSourceController::lineChosen, navigator_, &ListingNavigator::JumpToLine);
  // One switch for the colours of both texts of code.
  SpinSourceHighlighter* spinColours = spinSource_->View()->Highlighter();
  spinColours->SetEnabled(navigator_->ColoursAction()->isChecked());
  connect(navigator_->ColoursAction(), &QAction::toggled, spinColours, &SpinSourceHighlighter::SetEnabled);
  PlaceNavigatorActions();
  ApplyDesktopIntegration(*this, *listingView_, Action(Command::FileMenu)->menu(),
                          [this](const QString& path) { document_->OpenChosenFile(path); });

  // Design placement: a comfortable listing size, centred on the primary screen
  // and never larger than its free area.
  CentreWindow(*this, QSize(960, 680));
}

MainWindow::~MainWindow() = default;

const AnalysisPtr& MainWindow::analysis() const { return document_->analysis(); }

void MainWindow::BuildToolbar() {
  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName("Toolbar");
  toolBar_->setAccessibleName("Toolbar");
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->setIconSize(QSize(16, 16));
  addToolBar(Qt::TopToolBarArea, toolBar_);

  // Each button is the menu item it stands for: it is enabled exactly when the
  // item is, and does what the item does.
  struct Button {
    Command command;
    const char* tip;
    bool separatorAfter;
  };
  static constexpr Button kButtons[] = {
      {Command::Exit, "Exit", true},     {Command::Refresh, "Refresh", false},
      {Command::Open, "Open", false},    {Command::SaveAs, "Save", true},
      {Command::Print, "Print", false},  {Command::Copy, "Copy", false},
      {Command::Find, "Find", true},     {Command::DownloadRun, "Download", false},
  };
  for (const Button& b : kButtons) {
    QAction* action = Action(b.command);
    // Our own icons: without an icon theme the style's standard ones mislead.
    // The menus keep their plain look.
    action->setIcon(ToolbarIcon(b.tip));
    action->setIconVisibleInMenu(false);
    action->setToolTip(b.tip);
    action->setIconText(b.tip);  // the button's own name, as screen readers say it
    toolBar_->addAction(action);
    if (b.separatorAfter) toolBar_->addSeparator();
  }
}

void MainWindow::PlaceNavigatorActions() {
  // Go To, Back and Forward after Find Next; the colours and the docks at the end of View.
  QMenu* edit = Action(Command::EditMenu)->menu();
  edit->addSeparator();
  edit->addAction(navigator_->GoToAction());
  edit->addAction(navigator_->BackAction());
  edit->addAction(navigator_->ForwardAction());
  QMenu* view = Action(Command::ViewMenu)->menu();
  view->addSeparator();
  view->addAction(navigator_->ColoursAction());
  // Every letter of "Outline" is taken in this menu: the item says a little more.
  QAction* outline = navigator_->Outline()->toggleViewAction();
  outline->setText("Pro&gram Outline");
  view->addAction(outline);
  view->addAction(Action(Command::ShowSpinSource));  // moved from its row, beside the other dock
  toolBar_->addSeparator();
  toolBar_->addAction(navigator_->BackAction());
  toolBar_->addAction(navigator_->ForwardAction());
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
  for (std::size_t i = 0; i < statusPanels_.size(); ++i) {
    auto* panel = new QLabel(bar);
    panel->setObjectName("statusPanel" + QString::number(i + 1));
    panel->setToolTip(kPanels[i].tip);
    // A screen reader reads the value; the role is the description.
    panel->setAccessibleDescription(kPanels[i].tip);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextInteractionFlags(Qt::NoTextInteraction);
    statusPanels_[i] = panel;
    SetStatusPanel(static_cast<int>(i), kPanels[i].text);
    if (i == 0) {
      panel->setMinimumWidth(120);
      bar->addWidget(panel, 1);
    } else {
      bar->addPermanentWidget(panel);
    }
  }
  bar->hide();  // "&Status Bar" is off by design
}

void MainWindow::SetStatusPanel(int index, const QString& text) {
  QLabel* panel = statusPanels_[static_cast<std::size_t>(index)];
  panel->setText(text);
  // The value, without the blanks that pad " Auto ", is what the panel says.
  panel->setAccessibleName(text.trimmed());
}

void MainWindow::ApplyBars() {
  toolBar_->setVisible(Action(Command::ShowToolbar)->isChecked());
  statusBar()->setVisible(Action(Command::ShowStatusBar)->isChecked());
  UpdateCaption();
}

// The listing area fills the space between the bars (the main window's layout
// does that, and never gives it a negative height); what is left is the caption.
void MainWindow::UpdateCaption() {
  const QString& lastFile = document_ != nullptr ? document_->LastFile() : QString();
  if (lastFile.isEmpty()) return;
  const QString base = BaseNameOf(lastFile);
  if (isMinimized()) {
    setWindowTitle(base + " - Disassembler");
  } else {
    setWindowTitle(ProductTitleText() + " - " + base);
  }
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) UpdateCaption();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  UpdateCaption();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  closing_ = true;
  CloseToolWindows();
  SaveSettings();
  if (Process().DeveloperMode) {
    Engine& engine = document_->engine();
    SaveDebugFlags(store_, engine.SeenOpcodes(), engine.SeenEffects(), DateTimeStamp());
  }
  event->accept();
}

void MainWindow::SetListingFont(const QFont& font) { ApplyListingFont(listingView_, font); }

void MainWindow::OpenHandedOverFile(const QString& path) {
  // Shown and brought forward first, so any message about the file sits on top of it.
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  document_->OpenChosenFile(path);
}

}  // namespace brevin
