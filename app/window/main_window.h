// The main window: the listing area, menus, toolbar, status bar and the
// commands that open images and show their listings.
//
// The code is split by role: main_window.cpp (controls, layout, caption, close),
// main_window_menus.cpp (the menu tree), main_window_commands.cpp (open, refresh,
// reference tables, command states), main_window_settings.cpp (the settings
// store and the option toggles), main_window_startup.cpp (the start-up sequence).
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

#include "dialogs/debug_window.h"
#include "dialogs/find_dialog.h"
#include "analysis.h"
#include "window/recent_files.h"
#include "options.h"
#include "desktop/file_watch.h"
#include "output/printing.h"
#include "output/save_listing.h"

class QLabel;
class QPlainTextEdit;
class QTimer;
class QToolBar;

namespace brevin {

class Engine;
class TextSearch;
class ListingNavigator;
class SettingsStore;
class ShellHost;
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
  // The window's load: instance guard, upgrade notice, restore, show, reload.
  // False when this instance is to end without a window.
  bool Form_Load();
  bool Loaded() const { return loaded_; }
  // True once the window was closed; start-up stops and the program ends.
  bool Closing() const { return closing_; }
  // The guard that Main took for this process, so every copy of the program counts.
  void AdoptInstanceGuard(std::unique_ptr<platform::InstanceGuard> guard);
  std::unique_ptr<platform::InstanceGuard> TakeInstanceGuard();

  // ---- Commands (main_window_commands.cpp)
  void OpenFrom(const QString& lastFile);
  // A file chosen by the user (dialog, command line, drop): Spin source and
  // bytecode files are refused, anything else goes to OpenFile.
  void OpenChosenFile(const QString& name);
  void OpenFile(const QString& filename);
  void Refresh();
  // The window's side of one load: runs the engine and shows its listing.
  // False when nothing was listed; the window then stays as it was.
  bool LoadAndDisassemble(const QString& path, bool autoReloaded);
  void Disable_Downloads();
  void Toolbar_ButtonClick(QAction* button);
  void ShowSpinOpcodes();
  void ShowSpinEffects();
  void ShowAsmbOpcodes();
  void ShowImageFlags();
  void CopyText();
  void SelectAllText();

  // ---- Find, Set Font and the debug window (main_window_tools.cpp)
  // Ctrl+F: the find dialog for a text area (the listing or the debug text).
  void OpenFindDialog(QPlainTextEdit* target);
  // F3: Find Next with the last search once a search was made in this run, else the dialog.
  void FindNextCommand();
  void SetFont();
  TextSearch& Search() { return *search_; }
  FindDialog* FindBox() const { return findDialog_; }
  DebugWindow* DebugInfo() const { return debugWindow_; }
  // The font dialog: (title, current font) -> the chosen font; false on cancel.
  using FontChooser = std::function<bool(const QString&, QFont&)>;
  FontChooser ChooseFont;

  // ---- Settings and options (main_window_settings.cpp)
  void SaveSettings();
  void ToggleOption(QAction* item);
  void QuickSet(int index, QAction* item, int action);
  void QuickSettings(int action);
  void AutoRefresh();
  Options CurrentOptions() const;

  // ---- Recent files
  void AddRecentFile(const QString& path);
  void RebuildRecentMenu();
  void mnuOptions_FlushMru_Click();

  // ---- Controls
  // A menu item by its name ("mnuView_FoldOpcodes", "mnuFile_Mru(3)"); null when unknown.
  QAction* Item(const QString& name) const;
  // A toolbar button by its tool-tip text compared in upper case ("SAVE").
  QAction* ToolbarButton(const QString& key) const;
  QPlainTextEdit* txtDisplay = nullptr;
  QToolBar* Toolbar = nullptr;
  std::array<QLabel*, 3> StatusPanel{};
  QTimer* ReloadTimer = nullptr;
  QStringList cboMruList;  // the recently used files, most recent first

  // ---- Shell state
  QString LastFile;
  QString SaveFile;
  QString SourcePath;
  bool SourceWarningArmed = false;
  bool BytecodeListing = false;
  int QuickSetBits = 0;
  // Port choices (the Download menu's bookkeeping is in port_menu.h).
  int PortNumber = 0;
  int MaxPorts = 0;
  // Search text, option bits and history (kept and stored for the find dialog).
  QString FindText;
  int FindMode = 0;
  QStringList FindHistory;
  // Propeller Tool folder and manuals.
  QString PropToolPath;
  QString PropToolManual;
  QString PropToolQuickReference;

  // The open dialog: (title, folder, file name, filter) -> chosen path, empty on cancel.
  using FileChooser = std::function<QString(const QString&, const QString&, const QString&, const QString&)>;
  FileChooser ChooseOpenFile;

  // ---- Saving, printing, PDF export (main_window_output.cpp)
  void SaveListing();
  void SaveListingAs();
  void PrintListing();
  void PrintWithSource();
  void PrinterSetup();
  void ExportPdf();
  // The save dialog: the request -> chosen path, empty on cancel.
  using SaveChooser = std::function<QString(const SaveRequest&)>;
  SaveChooser ChooseSaveFile;
  // Whether the Propeller Tool is running (asked before printing its source).
  std::function<bool()> ToolRunning;
  // The printer for the rest of the run; tests put their own in.
  void SetPrintService(std::unique_ptr<PrintService> service);

  // ---- Auto-Reload (main_window_reload.cpp)
  void ReloadTimer_Timer();
  void mnuFile_AutoReload_Click();
  FileWatch ReloadWatch;  // the image as it was at its last load

  Engine& engine() { return *engine_; }
  // The model of the listing shown last; null before the first listing.
  const AnalysisPtr& analysis() const { return analysis_; }
  // Go To, Follow, Back/Forward, the outline, the image map and the colours.
  ListingNavigator* navigator() const { return navigator_; }
  ShellHost& host() { return *host_; }
  SettingsStore& store() { return store_; }

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
  void Form_Resize();
  void SetListingCommands();
  void SetToolbarButton(const QString& key, bool enabled);
  void ShowReference(const std::string& text);
  void ApplyBars();
  void RestoreWindowPlacement();
  void RestoreSettings();
  void RestoreDownloadTarget();
  bool DecideInstance();
  void ShowUpgradeNotice();
  void ApplyDebugRule();
  RecentMenu RecentMenuItems() const;
  void SetListingFont(const QFont& font);
  double TwipsPerPixel() const;
  void ConnectTools();
  // The debug text of the last analysis goes to the debug window, which opens for it.
  void ShowDebugOutput();
  void CloseToolWindows();
  void ConnectOutputCommands();
  void ConnectAutoReload();
  bool WriteListingTo(const QString& path);
  PrintDocument ListingDocument() const;
  void PrintDocumentNow(const PrintDocument& document);

  SettingsStore& store_;
  std::unique_ptr<ShellHost> host_;
  std::unique_ptr<Engine> engine_;
  AnalysisPtr analysis_;
  ListingNavigator* navigator_ = nullptr;
  std::unique_ptr<platform::InstanceGuard> guard_;
  std::unique_ptr<PrintService> printService_;
  QHash<QString, QAction*> items_;
  bool loaded_ = false;
  bool closing_ = false;
  bool listingShown_ = false;  // the text area holds a listing, not a reference table
  std::unique_ptr<TextSearch> search_;
  QPointer<FindDialog> findDialog_;
  QPointer<DebugWindow> debugWindow_;
};

// The listing font by default: Courier New when installed, else the system's
// fixed-pitch font, at 8.25 points.
QFont DefaultListingFont();

}  // namespace brevin
