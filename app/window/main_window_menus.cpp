// The menu tree of the main window: every item with its caption, access key,
// shortcut and design state, one row per Command in the enum's order, and the
// wiring of each command to what it does.
#include <QActionGroup>
#include <QMenuBar>

#include "dialogs/about.h"
#include "window/main_window.h"
#include "document/document_controller.h"
#include "listing/find_controller.h"
#include "listing/listing_view.h"
#include "listing/text_area.h"
#include "recovery/spin_source_controller.h"
#include "tool/port_controller.h"
#include "tool/propeller_tool_install.h"
#include "dialogs/system_info.h"
#include "tool/test_wrappers.h"

namespace brevin {

namespace {

enum : unsigned {
  Checkable = 1u,
  Checked = 2u | Checkable,
  Disabled = 4u,
  Hidden = 8u,
};

struct MenuRow {
  int depth;  // 0 a menu of the bar, 1 an item of it, 2 an item of a submenu
  Command command;
  const char* caption;  // "-" is a separator
  unsigned state;
  const char* shortcut;
};

// Rows in menu order; a row followed by deeper rows opens a submenu.
constexpr MenuRow kMenuTree[] = {
    {0, Command::FileMenu, "&File", 0, ""},
    {1, Command::Open, "&Open ...", 0, "Ctrl+O"},
    {1, Command::OpenFromMenu, "Open &From", 0, ""},
    {2, Command::OpenFromLibrary, "Propeller &Library ...", 0, ""},
    {2, Command::OpenFromDemo, "Propeller Library - &Demos ...", 0, ""},
    {2, Command::OpenFromExamples, "Propeller Manual - &Examples ...", 0, ""},
    {1, Command::FileSeparator1, "-", 0, ""},
    {1, Command::ReloadAtStart, "&Reload at Start", Checked, ""},
    {1, Command::AutoReload, "A&uto-Reload", Checkable, ""},
    {1, Command::InhibitWarnings, "&Inhibit Warning Messages", Checkable, ""},
    {1, Command::FileSeparator2, "-", 0, ""},
    {1, Command::Save, "&Save Decompilation", Disabled, "Ctrl+S"},
    {1, Command::SaveAs, "Save Decompilation &As ...", Disabled, ""},
    {1, Command::FileSeparator3, "-", 0, ""},
    {1, Command::Print, "&Print ...", Disabled, "Ctrl+P"},
    {1, Command::PrintWithSource, "Print &With Source ...", Disabled, ""},
    {1, Command::ExportPdf, "Export P&DF ...", Disabled, ""},
    {1, Command::ExportSpinSource, "Export Spin Sour&ce ...", Disabled, ""},
    {1, Command::PrintSetup, "Printer Set&up ...", 0, ""},
    {1, Command::RecentFilesSeparator, "-", Hidden, ""},
    {1, Command::RecentFile1, "&1", 0, ""},
    {1, Command::RecentFile2, "&2", Hidden, ""},
    {1, Command::RecentFile3, "&3", Hidden, ""},
    {1, Command::RecentFile4, "&4", Hidden, ""},
    {1, Command::RecentFile5, "&5", Hidden, ""},
    {1, Command::RecentFile6, "&6", Hidden, ""},
    {1, Command::RecentFile7, "&7", Hidden, ""},
    {1, Command::RecentFile8, "&8", Hidden, ""},
    {1, Command::FileSeparator4, "-", 0, ""},
    {1, Command::Exit, "E&xit", 0, "Ctrl+Q"},

    {0, Command::DownloadMenu, "&Download", 0, ""},
    {1, Command::DownloadRun, "&Run ...", Disabled, ""},
    {1, Command::PortSeparator1, "-", 0, ""},
    {1, Command::DownloadToEeprom, "&Eeprom ...", Checkable | Disabled, ""},
    {1, Command::DownloadToRam, "RA&M ...", Checkable | Disabled, ""},
    {1, Command::PortSeparator2, "-", 0, ""},
    {1, Command::PortAuto, "&Auto", Checked, ""},
    {1, Command::Port1, "COM&1", Checkable | Disabled, ""},
    {1, Command::Port2, "COM&2", Checkable | Disabled, ""},
    {1, Command::Port3, "COM&3", Checkable | Disabled | Hidden, ""},
    {1, Command::Port4, "COM&4", Checkable | Disabled | Hidden, ""},
    {1, Command::Port5, "COM&5", Checkable | Disabled | Hidden, ""},
    {1, Command::Port6, "COM&6", Checkable | Disabled | Hidden, ""},
    {1, Command::Port7, "COM&7", Checkable | Disabled | Hidden, ""},
    {1, Command::Port8, "COM&8", Checkable | Disabled | Hidden, ""},
    {1, Command::PortSeparator3, "-", 0, ""},
    {1, Command::PortRefresh, "Re&fresh", 0, ""},

    {0, Command::EditMenu, "&Edit", 0, ""},
    {1, Command::Copy, "&Copy", Disabled, ""},
    {1, Command::EditSeparator1, "-", 0, ""},
    {1, Command::SelectAll, "Select &All", Disabled, ""},
    {1, Command::EditSeparator2, "-", 0, ""},
    {1, Command::Find, "&Find ...", Disabled, "Ctrl+F"},
    {1, Command::FindNext, "Find &Next", Disabled, "F3"},

    {0, Command::ViewMenu, "&View", 0, ""},
    {1, Command::Refresh, "&Refresh", 0, "F5"},
    {1, Command::KeepPosition, "&Keep Position", Checked | Disabled | Hidden, ""},
    {1, Command::ViewSeparator1, "-", 0, ""},
    {1, Command::ShowImage, "&Include Image", Checked, ""},
    {1, Command::IncludeSourceCode, "Include Source Code", Checked, ""},
    {1, Command::ProcessAssembler, "&Process Assembler", Checked, ""},
    {1, Command::ViewSeparator2, "-", 0, ""},
    {1, Command::QuickSettingsMenu, "&Quick Settings", 0, ""},
    {2, Command::QuickSettingsAllOff, "&All Off", 0, ""},
    {2, Command::QuickSettingsDefault, "&Default", 0, ""},
    {2, Command::QuickSettingsAllOn, "All &On", 0, ""},
    {2, Command::QuickSettingsSeparator, "-", 0, ""},
    {2, Command::QuickSettingsSetDefaults, "&Set Defaults", 0, ""},
    {1, Command::ViewSeparator3, "-", 0, ""},
    {1, Command::ShowLabels, "Show Destination &Labels", Checked, ""},
    {1, Command::FoldOpcodes, "&Fold Opcodes", Checked, ""},
    {1, Command::FoldEffects, "Fold '&Using' Opcode", Checked, ""},
    {1, Command::FoldOperators, "Fold &Operators", Checked, ""},
    {1, Command::FoldArguments, "Fold &Arguments", Checked, ""},
    {1, Command::FoldSpr, "Fold &SPR Indexes", Checked, ""},
    {1, Command::FoldIndexes, "Fold Inde&xes", Checkable, ""},
    {1, Command::ViewSeparator4, "-", 0, ""},
    {1, Command::ColonsAfterLabels, "&Colons After labels", Checkable, ""},
    {1, Command::ForceHash, "Force &Hash Literals", Checkable, ""},
    {1, Command::DefaultLongVariables, "&Default Long Variables", Checkable, ""},
    {1, Command::CastVariables, "&Cast Variables", Checkable, ""},
    {1, Command::SymbolTable, "Symbol &Table", Checkable, ""},
    {1, Command::TraceAllMethods, "Trace All &Methods", Checkable, ""},
    {1, Command::LibraryNames, "Li&brary Names", Checked, ""},
    {1, Command::ViewSeparator5, "-", 0, ""},
    {1, Command::AutoRefresh, "&Auto-Refresh When Changed", Checkable, ""},
    {1, Command::ShowSpinSource, "Spin Sourc&e", Checkable, ""},

    {0, Command::OptionsMenu, "&Options", 0, ""},
    {1, Command::ShowToolbar, "&Toolbar", Checked, ""},
    {1, Command::ShowStatusBar, "&Status Bar", Checkable, ""},
    {1, Command::OptionsSeparator1, "-", 0, ""},
    {1, Command::SetFont, "Set &Font ...", 0, ""},
    {1, Command::OptionsSeparator2, "-", 0, ""},
    {1, Command::FlushRecentFiles, "Flush &Files Used List", Disabled, ""},
    {1, Command::OptionsSeparator3, "-", 0, ""},
    {1, Command::PortAutoFind, "&Port Auto-Find", Checkable, ""},

    {0, Command::HelpMenu, "&Help", 0, ""},
    {1, Command::About, "&About ...", 0, ""},
    {1, Command::System, "&System ...", 0, ""},
    {1, Command::HelpSeparator1, "-", 0, ""},
    {1, Command::PropellerManual, "&Propeller Manual ...", 0, ""},
    {1, Command::PropellerQuickReference, "Propeller &Quick Reference ...", 0, ""},
    {1, Command::HelpSeparator2, "-", 0, ""},
    {1, Command::ShowSpinOpcodes, "Show Spin &Opcodes", 0, ""},
    {1, Command::ShowSpinEffects, "Show Spin 'Using' &Effects", 0, ""},
    {1, Command::ShowAsmbOpcodes, "Show Asmb O&pcodes", 0, ""},
    {1, Command::ShowImageFlags, "Show &Image Flags", 0, ""},
    {1, Command::DebugSeparator, "-", 0, ""},
    {1, Command::DebugSpin, "Debug Spi&n", Checkable, ""},
    {1, Command::DebugAsmb, "&Debug Asmb", Checkable, ""},
    {1, Command::DebugVars, "Debug &Variables", Checkable, ""},
    {1, Command::WrappersSeparator, "-", Hidden, ""},
    {1, Command::CreateTestWrapper, "Create Test &Wrapper", Hidden, ""},
    {1, Command::CreateTestWrappers, "Create Test Wrappers &For All", Hidden, ""},
    {1, Command::DeleteWrappers, "Delete All Wrappers", Hidden, ""},
};

// The table is indexed by Command: each row must stand in its command's place.
constexpr bool RowsFollowCommands() {
  for (std::size_t i = 0; i < std::size(kMenuTree); ++i) {
    if (IndexOf(kMenuTree[i].command) != i) return false;
  }
  return std::size(kMenuTree) == kCommandCount;
}
static_assert(RowsFollowCommands(), "kMenuTree rows must follow the order of enum Command");

}  // namespace

void MainWindow::BuildMenus() {
  QMenu* menus[2] = {nullptr, nullptr};  // the open menu at depth 1 and 2
  const std::size_t count = std::size(kMenuTree);
  for (std::size_t i = 0; i < count; ++i) {
    const MenuRow& row = kMenuTree[i];
    const bool opensSubmenu = i + 1 < count && kMenuTree[i + 1].depth > row.depth;
    QAction* action = nullptr;
    if (row.depth == 0 || opensSubmenu) {
      QMenu* menu = row.depth == 0 ? menuBar()->addMenu(row.caption) : menus[row.depth - 1]->addMenu(row.caption);
      menus[row.depth] = menu;
      action = menu->menuAction();
    } else if (QString(row.caption) == "-") {
      action = menus[row.depth - 1]->addSeparator();
    } else {
      action = menus[row.depth - 1]->addAction(row.caption);
    }
    action->setCheckable((row.state & Checkable) != 0);
    action->setChecked((row.state & Checked) == Checked);
    action->setEnabled((row.state & Disabled) == 0);
    action->setVisible((row.state & Hidden) == 0);
    if (*row.shortcut != '\0') action->setShortcut(QKeySequence(row.shortcut));
    actions_[i] = action;
  }

  // The port items and the two download targets each hold one check mark.
  auto* ports = new QActionGroup(this);
  for (int n = 0; n <= 8; ++n) ports->addAction(Action(Nth(Command::PortAuto, n)));
  auto* targets = new QActionGroup(this);
  targets->addAction(Action(Command::DownloadToEeprom));
  targets->addAction(Action(Command::DownloadToRam));
}

}  // namespace brevin

namespace brevin {

void MainWindow::ConnectCommands() {
  const auto on = [this](Command command, auto handler) {
    connect(Action(command), &QAction::triggered, this, handler);
  };
  DocumentController& document = *document_;
  on(Command::Open, [this] { document_->OpenFrom(document_->LastFile()); });
  for (int i = 0; i < kMruMenuItems; ++i) {
    on(Nth(Command::RecentFile1, i), [this, i] {
      if (i < recentFiles_.size()) document_->OpenFile(recentFiles_[i]);
    });
  }
  on(Command::Exit, [this] { close(); });
  on(Command::Copy, [this] { CopyToClipboard(listingView_); });
  on(Command::SelectAll, [this] { SelectAllWithoutFlicker(listingView_); });
  on(Command::Refresh, [this] { document_->Refresh(); });
  on(Command::QuickSettingsAllOff, [this] { QuickSettings(kQuickAllOff); });
  on(Command::QuickSettingsDefault, [this] { QuickSettings(kQuickDefault); });
  on(Command::QuickSettingsAllOn, [this] { QuickSettings(kQuickAllOn); });
  on(Command::QuickSettingsSetDefaults, [this] { QuickSettings(kQuickSetDefaults); });
  on(Command::FlushRecentFiles, [this] { AskToFlushRecentFiles(); });
  on(Command::About, [] { ShowAbout(); });
  on(Command::ShowSpinOpcodes, [this] { ShowSpinOpcodes(); });
  on(Command::ShowSpinEffects, [this] { ShowSpinEffects(); });
  on(Command::ShowAsmbOpcodes, [this] { ShowAsmbOpcodes(); });
  on(Command::ShowImageFlags, [this] { ShowImageFlags(); });
  on(Command::System, [] { ShowSystemInformation(); });
  const auto openFrom = [this](const QString& folder) { document_->OpenFrom(folder); };
  on(Command::OpenFromLibrary, [this, openFrom] { tool_->OpenFromPath("Propeller Library Files", "", openFrom); });
  on(Command::OpenFromDemo,
     [this, openFrom] { tool_->OpenFromPath("Propeller Library Files - Demos", "/Examples/Library", openFrom); });
  on(Command::OpenFromExamples,
     [this, openFrom] { tool_->OpenFromPath("Propeller Manual - Examples", "/Examples/Manual", openFrom); });
  on(Command::PropellerManual, [this] { tool_->OpenManual(); });
  on(Command::PropellerQuickReference, [this] { tool_->OpenQuickReference(); });
  on(Command::CreateTestWrapper, [this] { CreateTestWrapperCommand(document_->SourcePath()); });
  on(Command::CreateTestWrappers, [this] { CreateTestWrappersCommand(document_->SourcePath()); });
  on(Command::DeleteWrappers, [this] { DeleteWrappersCommand(document_->SourcePath()); });

  on(Command::Save, [&document] { document.SaveListing(); });
  on(Command::SaveAs, [&document] { document.SaveListingAs(); });
  on(Command::Print, [&document] { document.PrintListing(); });
  on(Command::PrintWithSource, [&document] { document.PrintWithSource(); });
  on(Command::ExportPdf, [&document] { document.ExportPdf(); });
  on(Command::ExportSpinSource, [this] { spinSource_->Export(); });
  on(Command::PrintSetup, [&document] { document.PrinterSetup(); });
  // Qt has inverted the check mark already.
  on(Command::AutoReload, [this] { document_->ToggleAutoReload(Action(Command::AutoReload)->isChecked()); });

  on(Command::Find, [this] { find_->OpenDialog(listingView_); });
  on(Command::FindNext, [this] { find_->FindNextInListing(listingView_); });
  on(Command::SetFont, [this] { SetFont(); });
  // A selection made in the listing while the dialog is open proposes itself as the search text.
  connect(listingView_, &QPlainTextEdit::selectionChanged, this,
          [this] { find_->FollowSelection(listingView_->textCursor().selectedText()); });
  ConnectOptionToggles();
}

}  // namespace brevin
