// The menu tree of the main window: every item with its caption, access key,
// shortcut and design state. Items are found later by their names.
#include <QActionGroup>
#include <QMenuBar>

#include "dialogs/about.h"
#include "window/main_window.h"
#include "tool/port_menu.h"
#include "tool/propeller_tool_integration.h"
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
  const char* name;
  const char* caption;  // "-" is a separator
  unsigned state;
  const char* shortcut;
};

// Rows in menu order; a row followed by deeper rows opens a submenu.
constexpr MenuRow kMenuTree[] = {
    {0, "mnuFile", "&File", 0, ""},
    {1, "mnuFile_Open", "&Open ...", 0, "Ctrl+O"},
    {1, "mnuFile_OpenFrom", "Open &From", 0, ""},
    {2, "mnuFile_OpenFrom_Library", "Propeller &Library ...", 0, ""},
    {2, "mnuFile_OpenFrom_Demo", "Propeller Library - &Demos ...", 0, ""},
    {2, "mnuFile_OpenFrom_Examples", "Propeller Manual - &Examples ...", 0, ""},
    {1, "mnuFile_Separator_1", "-", 0, ""},
    {1, "mnuFile_ReloadAtStart", "&Reload at Start", Checked, ""},
    {1, "mnuFile_AutoReload", "A&uto-Reload", Checkable, ""},
    {1, "mnuFile_InhibitWarnings", "&Inhibit Warning Messages", Checkable, ""},
    {1, "mnuFile_Separator_2", "-", 0, ""},
    {1, "mnuFile_Save", "&Save Decompilation", Disabled, "Ctrl+S"},
    {1, "mnuFile_SaveAs", "Save Decompilation &As ...", Disabled, ""},
    {1, "mnuFile_Separator_3", "-", 0, ""},
    {1, "mnuFile_Print", "&Print ...", Disabled, "Ctrl+P"},
    {1, "mnuFile_PrintWithSource", "Print &With Source ...", Disabled, ""},
    {1, "mnuFile_ExportPdf", "Export P&DF ...", Disabled, ""},
    {1, "mnuFile_PrintSetup", "Printer Set&up ...", 0, ""},
    {1, "mnuFile_Serator_Mru", "-", Hidden, ""},
    {1, "mnuFile_Mru(0)", "&1", 0, ""},
    {1, "mnuFile_Mru(1)", "&2", Hidden, ""},
    {1, "mnuFile_Mru(2)", "&3", Hidden, ""},
    {1, "mnuFile_Mru(3)", "&4", Hidden, ""},
    {1, "mnuFile_Mru(4)", "&5", Hidden, ""},
    {1, "mnuFile_Mru(5)", "&6", Hidden, ""},
    {1, "mnuFile_Mru(6)", "&7", Hidden, ""},
    {1, "mnuFile_Mru(7)", "&8", Hidden, ""},
    {1, "mnuFile_Separator_4", "-", 0, ""},
    {1, "mnuFile_Exit", "E&xit", 0, "Ctrl+Q"},

    {0, "mnuPort", "&Download", 0, ""},
    {1, "mnuPort_Run", "&Run ...", Disabled, ""},
    {1, "mnuPort_Separator_1", "-", 0, ""},
    {1, "mnuPort_Download(0)", "&Eeprom ...", Checkable | Disabled, ""},
    {1, "mnuPort_Download(1)", "RA&M ...", Checkable | Disabled, ""},
    {1, "mnuPort_Separator_2", "-", 0, ""},
    {1, "mnuPort_ComPort(0)", "&Auto", Checked, ""},
    {1, "mnuPort_ComPort(1)", "COM&1", Checkable | Disabled, ""},
    {1, "mnuPort_ComPort(2)", "COM&2", Checkable | Disabled, ""},
    {1, "mnuPort_ComPort(3)", "COM&3", Checkable | Disabled | Hidden, ""},
    {1, "mnuPort_ComPort(4)", "COM&4", Checkable | Disabled | Hidden, ""},
    {1, "mnuPort_ComPort(5)", "COM&5", Checkable | Disabled | Hidden, ""},
    {1, "mnuPort_ComPort(6)", "COM&6", Checkable | Disabled | Hidden, ""},
    {1, "mnuPort_ComPort(7)", "COM&7", Checkable | Disabled | Hidden, ""},
    {1, "mnuPort_ComPort(8)", "COM&8", Checkable | Disabled | Hidden, ""},
    {1, "mnuPort_Separator_3", "-", 0, ""},
    {1, "mnuPort_Refresh", "Re&fresh", 0, ""},

    {0, "mnuEdit", "&Edit", 0, ""},
    {1, "mnuEdit_Copy", "&Copy", Disabled, ""},
    {1, "mnuEdit_Separator_1", "-", 0, ""},
    {1, "mnuEdit_SelectAll", "Select &All", Disabled, ""},
    {1, "mnuEdit_Separator_2", "-", 0, ""},
    {1, "mnuEdit_Find", "&Find ...", Disabled, "Ctrl+F"},
    {1, "mnuEdit_FindNext", "Find &Next", Disabled, "F3"},

    {0, "mnuView", "&View", 0, ""},
    {1, "mnuView_Refresh", "&Refresh", 0, "F5"},
    {1, "mnuView_KeepPosition", "&Keep Position", Checked | Disabled | Hidden, ""},
    {1, "mnuView_Separator_1", "-", 0, ""},
    {1, "mnuView_ShowImage", "&Include Image", Checked, ""},
    {1, "mnuView_IncludeSourceCode", "Include Source Code", Checked, ""},
    {1, "mnuView_ProcessAssembler", "&Process Assembler", Checked, ""},
    {1, "mnuView_Separator_2", "-", 0, ""},
    {1, "mnuView_QuickSettings", "&Quick Settings", 0, ""},
    {2, "mnuOptions_QuickSettings_Off", "&All Off", 0, ""},
    {2, "mnuOptions_QuickSettings_Default", "&Default", 0, ""},
    {2, "mnuOptions_QuickSettings_On", "All &On", 0, ""},
    {2, "mnuOptions_QuickSettings_Sep", "-", 0, ""},
    {2, "mnuOptions_QuickSettings_Set", "&Set Defaults", 0, ""},
    {1, "mnuView_Separator_3", "-", 0, ""},
    {1, "mnuView_ShowLabels", "Show Destination &Labels", Checked, ""},
    {1, "mnuView_FoldOpcodes", "&Fold Opcodes", Checked, ""},
    {1, "mnuView_FoldEffects", "Fold '&Using' Opcode", Checked, ""},
    {1, "mnuView_FoldOperators", "Fold &Operators", Checked, ""},
    {1, "mnuView_FoldArguments", "Fold &Arguments", Checked, ""},
    {1, "mnuView_FoldSpr", "Fold &SPR Indexes", Checked, ""},
    {1, "mnuView_FoldIndexes", "Fold Inde&xes", Checkable, ""},
    {1, "mnuView_Separator_4", "-", 0, ""},
    {1, "mnuView_ColonsAfterLabels", "&Colons After labels", Checkable, ""},
    {1, "mnuView_ForceHash", "Force &Hash Literals", Checkable, ""},
    {1, "mnuView_DefaultLongVariables", "&Default Long Variables", Checkable, ""},
    {1, "mnuView_CastVariables", "&Cast Variables", Checkable, ""},
    {1, "mnuView_SymbolTable", "Symbol &Table", Checkable, ""},
    {1, "mnuView_Separator_5", "-", 0, ""},
    {1, "mnuView_AutoRefresh", "&Auto-Refresh When Changed", Checkable, ""},

    {0, "mnuOptions", "&Options", 0, ""},
    {1, "mnuOptions_ShowToolbar", "&Toolbar", Checked, ""},
    {1, "mnuOptions_ShowStatusBar", "&Status Bar", Checkable, ""},
    {1, "mnuOptions_Separator_1", "-", 0, ""},
    {1, "mnuOptions_SetFont", "Set &Font ...", 0, ""},
    {1, "mnuOptions_Separator_2", "-", 0, ""},
    {1, "mnuOptions_FlushMru", "Flush &Files Used List", Disabled, ""},
    {1, "mnuOptions_Separator_3", "-", 0, ""},
    {1, "mnuOptions_PortAutoFind", "&Port Auto-Find", Checkable, ""},

    {0, "mnuHelp", "&Help", 0, ""},
    {1, "mnuHelp_About", "&About ...", 0, ""},
    {1, "mnuHelp_System", "&System ...", 0, ""},
    {1, "mnuHelp_Separator_1", "-", 0, ""},
    {1, "mnuHelp_PropellerManual", "&Propeller Manual ...", 0, ""},
    {1, "mnuHelp_PropellerQuickReference", "Propeller &Quick Reference ...", 0, ""},
    {1, "mnuHelp_Separator_2", "-", 0, ""},
    {1, "mnuHelp_ShowSpinOpcodes", "Show Spin &Opcodes", 0, ""},
    {1, "mnuHelp_ShowSpinEffects", "Show Spin 'Using' &Effects", 0, ""},
    {1, "mnuHelp_ShowAsmbOpcodes", "Show Asmb O&pcodes", 0, ""},
    {1, "mnuHelp_ShowImageFlags", "Show &Image Flags", 0, ""},
    {1, "mnuHelp_Separator_Debug", "-", 0, ""},
    {1, "mnuHelp_DebugSpin", "Debug Spi&n", Checkable, ""},
    {1, "mnuHelp_DebugAsmb", "&Debug Asmb", Checkable, ""},
    {1, "mnuHelp_DebugVars", "Debug &Variables", Checkable, ""},
    {1, "mnuHelp_Separator_Delete", "-", Hidden, ""},
    {1, "mnuHelp_CreateTestWrapper", "Create Test &Wrapper", Hidden, ""},
    {1, "mnuHelp_CreateTestWrappers", "Create Test Wrappers &For All", Hidden, ""},
    {1, "mnuHelp_DeleteWrappers", "Delete All Wrappers", Hidden, ""},
};

}  // namespace

void MainWindow::BuildMenus() {
  QMenu* menus[2] = {nullptr, nullptr};  // the open menu at depth 1 and 2
  const std::size_t count = std::size(kMenuTree);
  for (std::size_t i = 0; i < count; ++i) {
    const MenuRow& row = kMenuTree[i];
    const QString name = row.name;
    const bool opensSubmenu = i + 1 < count && kMenuTree[i + 1].depth > row.depth;
    QAction* action = nullptr;
    if (row.depth == 0 || opensSubmenu) {
      QMenu* menu = row.depth == 0 ? menuBar()->addMenu(row.caption) : menus[row.depth - 1]->addMenu(row.caption);
      menu->setObjectName(name);
      menus[row.depth] = menu;
      action = menu->menuAction();
    } else if (QString(row.caption) == "-") {
      action = menus[row.depth - 1]->addSeparator();
    } else {
      action = menus[row.depth - 1]->addAction(row.caption);
    }
    action->setObjectName(name);
    action->setCheckable((row.state & Checkable) != 0);
    action->setChecked((row.state & Checked) == Checked);
    action->setEnabled((row.state & Disabled) == 0);
    action->setVisible((row.state & Hidden) == 0);
    if (*row.shortcut != '\0') action->setShortcut(QKeySequence(row.shortcut));
    items_.insert(name, action);
  }

  // The port items and the two download targets each hold one check mark.
  auto* ports = new QActionGroup(this);
  for (int n = 0; n <= 8; ++n) ports->addAction(Item(QString("mnuPort_ComPort(%1)").arg(n)));
  auto* targets = new QActionGroup(this);
  targets->addAction(Item("mnuPort_Download(0)"));
  targets->addAction(Item("mnuPort_Download(1)"));
}

}  // namespace brevin

namespace brevin {

void MainWindow::ConnectCommands() {
  const auto on = [this](const char* name, auto handler) {
    connect(Item(name), &QAction::triggered, this, handler);
  };
  on("mnuFile_Open", [this] { OpenFrom(LastFile); });
  for (int i = 0; i < kMruMenuItems; ++i) {
    on(QString("mnuFile_Mru(%1)").arg(i).toUtf8().constData(), [this, i] {
      if (i < cboMruList.size()) OpenFile(cboMruList[i]);
    });
  }
  on("mnuFile_Exit", [this] { close(); });
  on("mnuEdit_Copy", [this] { CopyText(); });
  on("mnuEdit_SelectAll", [this] { SelectAllText(); });
  on("mnuView_Refresh", [this] { Refresh(); });
  on("mnuOptions_QuickSettings_Off", [this] { QuickSettings(kQuickAllOff); });
  on("mnuOptions_QuickSettings_Default", [this] { QuickSettings(kQuickDefault); });
  on("mnuOptions_QuickSettings_On", [this] { QuickSettings(kQuickAllOn); });
  on("mnuOptions_QuickSettings_Set", [this] { QuickSettings(kQuickSetDefaults); });
  on("mnuOptions_FlushMru", [this] { mnuOptions_FlushMru_Click(); });
  on("mnuHelp_About", [] { ShowAbout(); });
  on("mnuHelp_ShowSpinOpcodes", [this] { ShowSpinOpcodes(); });
  on("mnuHelp_ShowSpinEffects", [this] { ShowSpinEffects(); });
  on("mnuHelp_ShowAsmbOpcodes", [this] { ShowAsmbOpcodes(); });
  on("mnuHelp_ShowImageFlags", [this] { ShowImageFlags(); });
  on("mnuHelp_System", [] { ShowSystemInformation(); });
  on("mnuFile_OpenFrom_Library", [this] { OpenFromPath(*this, "Propeller Library Files", ""); });
  on("mnuFile_OpenFrom_Demo", [this] { OpenFromPath(*this, "Propeller Library Files - Demos", "/Examples/Library"); });
  on("mnuFile_OpenFrom_Examples", [this] { OpenFromPath(*this, "Propeller Manual - Examples", "/Examples/Manual"); });
  on("mnuHelp_PropellerManual", [this] { OpenPropellerManual(*this); });
  on("mnuHelp_PropellerQuickReference", [this] { OpenPropellerQuickReference(*this); });
  on("mnuHelp_CreateTestWrapper", [this] { CreateTestWrapperCommand(SourcePath); });
  on("mnuHelp_CreateTestWrappers", [this] { CreateTestWrappersCommand(SourcePath); });
  on("mnuHelp_DeleteWrappers", [this] { DeleteWrappersCommand(SourcePath); });
  for (int n = 0; n <= kPortItems; ++n) {
    on(QString("mnuPort_ComPort(%1)").arg(n).toUtf8().constData(), [this, n] { SelectPort(*this, n); });
  }
  on("mnuPort_Refresh", [this] { PortScan(*this); });
  on("mnuOptions_PortAutoFind", [this] { PortAutoFindToggled(*this); });
  ConnectOptionToggles();
  ConnectOutputCommands();
  ConnectAutoReload();
}

}  // namespace brevin
