// The main window: the menus, the toolbar and the status bar around the listing
// view, and the wiring between them and the controllers that do the work (the
// document, the ports, the Propeller Tool, find and the navigator).
//
// The code is split by role: main_window.cpp (controls, layout, caption, close),
// main_window_menus.cpp (the menu table and the command wiring),
// main_window_commands.cpp (command states, reference tables, recent files),
// main_window_settings.cpp (the settings store and the option toggles),
// main_window_startup.cpp (the start-up sequence), main_window_tools.cpp (Set
// Font and the debug window).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

#include "brevin/analysis.h"
#include "brevin/options.h"
#include "window/commands.h"
#include "window/recent_files.h"

class QLabel;
class QToolBar;

namespace brevin {

class DebugWindow;
class DocumentController;
class FindController;
class ListingNavigator;
class ListingView;
class NoticeBar;
class PortController;
class PropellerTool;
class SettingsStore;
class SpinSourceController;
namespace platform {
class InstanceGuard;
}

// The Quick Settings actions.
enum QuickAction { kQuickSetDefaults = 0, kQuickAllOn = 1, kQuickDefault = 2, kQuickAllOff = 3 };

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(SettingsStore& store, QWidget* parent = nullptr);
  ~MainWindow() override;

  // ---- Start-up (main_window_startup.cpp)
  // The instance guard, upgrade notice, restore, show and reload. False when
  // this instance is to end without a window.
  bool Start();
  bool Loaded() const { return loaded_; }
  // True once the window was closed; start-up stops and the program ends.
  bool Closing() const { return closing_; }
  // The guard that Main took for this process, so every copy of the program counts.
  void AdoptInstanceGuard(std::unique_ptr<platform::InstanceGuard> guard);
  std::unique_ptr<platform::InstanceGuard> TakeInstanceGuard();

  // ---- The controls
  // The menu item of a command; the toolbar buttons are the same actions.
  QAction* Action(Command command) const { return actions_[IndexOf(command)]; }
  ListingView* Listing() const { return listingView_; }
  QToolBar* ToolBar() const { return toolBar_; }
  // The line above the listing for what the reader should know about it
  // (methods left undecoded, and how to decode them).
  NoticeBar* Notice() const { return noticeBar_; }
  // The status bar's panels: 0 the image's path, 1 its size, 2 the download port.
  QLabel* StatusPanel(int index) const { return statusPanels_[static_cast<std::size_t>(index)]; }
  // The recently used files, most recent first.
  const QStringList& RecentFiles() const { return recentFiles_; }

  // ---- The controllers
  DocumentController& Document() { return *document_; }
  PortController& Ports() { return *ports_; }
  PropellerTool& Tool() { return *tool_; }
  FindController& Find() { return *find_; }
  // Go To, Follow, Back/Forward, the outline, the image map and the colours.
  ListingNavigator* navigator() const { return navigator_; }
  // The Spin source of the listed image: the "Spin Source" dock and its export.
  SpinSourceController& SpinSource() { return *spinSource_; }
  DebugWindow* DebugInfo() const;
  SettingsStore& store() { return store_; }
  // The model of the listing shown last; null before the first listing.
  const AnalysisPtr& analysis() const;

  // ---- Commands
  void ShowSpinOpcodes();
  void ShowSpinEffects();
  void ShowAsmbOpcodes();
  void ShowImageFlags();
  void SetFont();
  // The font dialog: (title, current font) -> the chosen font; false on cancel.
  using FontChooser = std::function<bool(const QString&, QFont&)>;
  void SetFontChooser(FontChooser chooser) { chooseFont_ = std::move(chooser); }

  // ---- Settings and options (main_window_settings.cpp)
  void SaveSettings();
  void QuickSettings(int action);
  int QuickSetBits() const { return quickSetBits_; }
  // The menus' option marks, as the engine takes them.
  Options CurrentOptions() const;

  // Another copy of the program handed over a file: opened here, window raised.
  void OpenHandedOverFile(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolbar();
  void BuildStatusBar();
  void ConnectCommands();
  void ConnectOptionToggles();
  void PlaceNavigatorActions();
  void UpdateCaption();
  void ShowListed(const QString& path);
  void SetListingCommands();
  void ConnectNoticeBar();
  void FitOutline();
  void ShowReferenceCommands();
  void SetStatusPanel(int index, const QString& text);
  void ApplyBars();
  void RestoreWindowPlacement();
  void RestoreSettings();
  bool DecideInstance();
  void ShowUpgradeNotice();
  void ApplyDebugRule();
  void ToggleOption(QAction* item);
  // An option of this program's own (not of the menu design): a listing shown
  // is made again with it at once, whatever Auto-Refresh says.
  void ApplyOwnOption();
  void QuickSet(int index, QAction* item, int action);
  void AutoRefresh();
  void AddRecentFile(const QString& path);
  void RebuildRecentMenu();
  void AskToFlushRecentFiles();
  RecentMenu RecentMenuItems() const;
  void SetListingFont(const QFont& font);
  // The debug text of the last analysis goes to the debug window, which opens for it.
  void ShowDebugOutput();
  void CloseToolWindows();

  SettingsStore& store_;
  std::array<QAction*, kCommandCount> actions_{};
  ListingView* listingView_ = nullptr;
  NoticeBar* noticeBar_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  std::array<QLabel*, 3> statusPanels_{};
  QString noticeDismissedFor_;  // the image whose notice the reader hid
  QString methodsNoticeShown_;  // the untraced-methods notice the status bar shows, if any
  DocumentController* document_ = nullptr;
  PortController* ports_ = nullptr;
  std::unique_ptr<PropellerTool> tool_;
  FindController* find_ = nullptr;
  ListingNavigator* navigator_ = nullptr;
  SpinSourceController* spinSource_ = nullptr;
  QPointer<DebugWindow> debugWindow_;
  std::unique_ptr<platform::InstanceGuard> guard_;
  QStringList recentFiles_;  // most recent first
  int quickSetBits_ = 0;
  FontChooser chooseFont_;
  bool docksRestored_ = false;  // the docks' places and sizes came from the settings
  bool outlineFitted_ = false;  // the Outline was widened for its entries (once, without saved docks)
  bool loaded_ = false;
  bool closing_ = false;
};

}  // namespace brevin
