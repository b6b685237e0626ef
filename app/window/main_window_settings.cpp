// The settings store of the main window: what is saved at shutdown and restored
// at start-up, the option toggles, Auto-Refresh and the quick settings.
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <cmath>

#include "window/shell_support.h"
#include "window/main_window.h"
#include "tool/port_menu.h"
#include "window/settings_store.h"
#include "window/window_placement.h"

namespace brevin {

namespace {

// How toggling the item behaves.
enum class Toggle {
  Refresh,  // invert, then Auto-Refresh
  Mark,     // invert only
  Bar,      // invert, show or hide the bar, lay out again
  Debug,    // invert, then the Debug Variables enabling rule
};

struct OptionRow {
  const char* key;  // in section "Settings"
  const char* item;
  Toggle toggle;
};

// The menu-backed options, in the order they are restored and saved.
constexpr OptionRow kOptions[] = {
    {"ShowImage", "mnuView_ShowImage", Toggle::Refresh},
    {"IncludeSourceCode", "mnuView_IncludeSourceCode", Toggle::Refresh},
    {"ProcessAssembler", "mnuView_ProcessAssembler", Toggle::Refresh},
    {"ShowLabels", "mnuView_ShowLabels", Toggle::Refresh},
    {"FoldOpcodes", "mnuView_FoldOpcodes", Toggle::Refresh},
    {"FoldEffects", "mnuView_FoldEffects", Toggle::Refresh},
    {"FoldOperators", "mnuView_FoldOperators", Toggle::Refresh},
    {"FoldArguments", "mnuView_FoldArguments", Toggle::Refresh},
    {"FoldSpr", "mnuView_FoldSpr", Toggle::Refresh},
    {"FoldIndexes", "mnuView_FoldIndexes", Toggle::Refresh},
    {"KeepPosition", "mnuView_KeepPosition", Toggle::Mark},
    {"ColonsAfterLabels", "mnuView_ColonsAfterLabels", Toggle::Refresh},
    {"ForceHash", "mnuView_ForceHash", Toggle::Refresh},
    {"DefaultLong", "mnuView_DefaultLongVariables", Toggle::Refresh},
    {"CastVariables", "mnuView_CastVariables", Toggle::Refresh},
    {"SymbolTable", "mnuView_SymbolTable", Toggle::Refresh},
    {"AutoRefresh", "mnuView_AutoRefresh", Toggle::Refresh},
    {"ShowToolbar", "mnuOptions_ShowToolbar", Toggle::Bar},
    {"ShowStatusbar", "mnuOptions_ShowStatusBar", Toggle::Bar},
    {"DebugSpin", "mnuHelp_DebugSpin", Toggle::Debug},
    {"DebugAsmb", "mnuHelp_DebugAsmb", Toggle::Debug},
    {"DebugVars", "mnuHelp_DebugVars", Toggle::Debug},
    {"ReloadAtStart", "mnuFile_ReloadAtStart", Toggle::Mark},
    {"AutoReload", "mnuFile_AutoReload", Toggle::Mark},
    {"InhibitWarnings", "mnuFile_InhibitWarnings", Toggle::Mark},
};

// The seven options the quick settings switch, by bit of QuickSetBits.
constexpr const char* kQuickItems[] = {"mnuView_ShowLabels",    "mnuView_FoldOpcodes",   "mnuView_FoldEffects",
                                       "mnuView_FoldOperators", "mnuView_FoldArguments", "mnuView_FoldSpr",
                                       "mnuView_FoldIndexes"};

constexpr int kWindowNormal = 0;
constexpr int kWindowMinimised = 1;
constexpr int kWindowMaximised = 2;

}  // namespace

Options MainWindow::CurrentOptions() const {
  const auto on = [this](const char* name) { return Item(name)->isChecked(); };
  Options o;
  o.ShowImage = on("mnuView_ShowImage");
  o.IncludeSourceCode = on("mnuView_IncludeSourceCode");
  o.ProcessAssembler = on("mnuView_ProcessAssembler");
  o.ShowLabels = on("mnuView_ShowLabels");
  o.FoldOpcodes = on("mnuView_FoldOpcodes");
  o.FoldEffects = on("mnuView_FoldEffects");
  o.FoldOperators = on("mnuView_FoldOperators");
  o.FoldArguments = on("mnuView_FoldArguments");
  o.FoldSpr = on("mnuView_FoldSpr");
  o.FoldIndexes = on("mnuView_FoldIndexes");
  o.ColonsAfterLabels = on("mnuView_ColonsAfterLabels");
  o.ForceHash = on("mnuView_ForceHash");
  o.DefaultLongVariables = on("mnuView_DefaultLongVariables");
  o.CastVariables = on("mnuView_CastVariables");
  o.SymbolTable = on("mnuView_SymbolTable");
  o.DebugSpin = on("mnuHelp_DebugSpin");
  o.DebugAsmb = on("mnuHelp_DebugAsmb");
  o.DebugVars = on("mnuHelp_DebugVars");
  o.InhibitWarnings = on("mnuFile_InhibitWarnings");
  o.AutoReload = on("mnuFile_AutoReload");
  return o;
}

// ---- Toggles

void MainWindow::ConnectOptionToggles() {
  for (const OptionRow& row : kOptions) {
    QAction* item = Item(row.item);
    // Qt inverts the check mark of a checkable item before "triggered" arrives.
    switch (row.toggle) {
      case Toggle::Refresh:
        connect(item, &QAction::triggered, this, [this, item] { ToggleOption(item); });
        break;
      case Toggle::Bar:
        connect(item, &QAction::triggered, this, [this] { ApplyBars(); });
        break;
      case Toggle::Debug:
        connect(item, &QAction::triggered, this, [this] { ApplyDebugRule(); });
        break;
      case Toggle::Mark:
        break;
    }
  }
}

void MainWindow::ToggleOption(QAction* item) {
  if (item == Item("mnuView_IncludeSourceCode")) SourceWarningArmed = true;
  AutoRefresh();
}

void MainWindow::ApplyDebugRule() {
  Item("mnuHelp_DebugVars")->setEnabled(Item("mnuHelp_DebugSpin")->isChecked() || Item("mnuHelp_DebugAsmb")->isChecked());
}

void MainWindow::AutoRefresh() {
  if (Item("mnuView_AutoRefresh")->isChecked()) Refresh();
}

void MainWindow::QuickSet(int index, QAction* item, int action) {
  const int bit = 1 << index;
  switch (action) {
    case kQuickSetDefaults:
      QuickSetBits = item->isChecked() ? (QuickSetBits | bit) : (QuickSetBits & ~bit);
      break;
    case kQuickAllOn:
      item->setChecked(true);
      break;
    case kQuickDefault:
      item->setChecked((QuickSetBits & bit) != 0);
      break;
    case kQuickAllOff:
      item->setChecked(false);
      break;
    default:
      break;
  }
}

void MainWindow::QuickSettings(int action) {
  for (int index = 0; index < static_cast<int>(std::size(kQuickItems)); ++index) {
    QuickSet(index, Item(kQuickItems[index]), action);
  }
  if (action != kQuickSetDefaults) AutoRefresh();
}

// ---- Save

void MainWindow::SaveSettings() {
  SettingsStore& s = store_;
  const double twips = TwipsPerPixel();
  const auto toTwips = [twips](int pixels) { return static_cast<long long>(std::lround(pixels * twips)); };

  if (!isMinimized()) {
    const bool maximised = isMaximized();
    s.WriteInt("Window", "State", maximised ? kWindowMaximised : kWindowNormal);
    if (!maximised && !isFullScreen()) {
      s.WriteInt("Window", "Top", toTwips(y()));
      s.WriteInt("Window", "Left", toTwips(x()));
      s.WriteInt("Window", "Height", toTwips(height()));
      s.WriteInt("Window", "Width", toTwips(width()));
    }
  }

  s.WriteText("Mru", "LastFile", LastFile);
  s.WriteText("Mru", "SaveFile", SaveFile);

  const bool autoFind = Item("mnuOptions_PortAutoFind")->isChecked();
  s.WriteBool("Ports", "AutoFind", autoFind);
  s.WriteInt("Ports", "Port", PortNumber);
  if (autoFind) {
    s.WriteInt("Ports", "MaxPorts", MaxPorts);
    for (int n = 1; n <= MaxPorts && n <= 8; ++n) {
      s.WriteBool("Ports", "COM" + QString::number(n), Item(QString("mnuPort_ComPort(%1)").arg(n))->isEnabled());
    }
  }

  s.WriteInt("Settings", "QuickSetBits", QuickSetBits);
  s.WriteBool("Ports", "DownloadToEeprom", Item("mnuPort_Download(0)")->isChecked());
  for (const OptionRow& row : kOptions) s.WriteBool("Settings", row.key, Item(row.item)->isChecked());

  const QFont font = txtDisplay->font();
  s.WriteText("Font", "Name", font.family());
  s.WriteBool("Font", "Bold", font.bold());
  s.WriteBool("Font", "Italic", font.italic());
  s.WriteDouble("Font", "Size", font.pointSizeF());

  s.WriteText("Find", "0", FindText);
  s.WriteInt("Find", "Mode", FindMode);
  for (int i = 0; i < 10; ++i) {
    s.WriteText("Find", QString::number(i + 1), i < FindHistory.size() ? FindHistory[i] : QString());
  }

  SaveRecentFiles(s, cboMruList);

  s.WriteText("PropTool", "Path", PropToolPath);
  s.WriteText("PropTool", "Manual", PropToolManual);
  s.WriteText("PropTool", "QuickReference", PropToolQuickReference);

  s.WriteBool("Setup", "Crashed", false);
  s.Sync();
}

// ---- Restore

void MainWindow::RestoreWindowPlacement() {
  const SettingsStore& s = store_;
  const double twips = TwipsPerPixel();
  const auto pixels = [twips](double value) { return static_cast<int>(std::lround(value / twips)); };
  const int state = s.ReadInt("Window", "State", isMaximized() ? kWindowMaximised : kWindowNormal);
  const int top = pixels(s.ReadDouble("Window", "Top", y() * twips));
  const int left = pixels(s.ReadDouble("Window", "Left", x() * twips));
  const int height = pixels(s.ReadDouble("Window", "Height", this->height() * twips));
  const int width = pixels(s.ReadDouble("Window", "Width", this->width() * twips));
  // The stored place may be larger than the screen or lie off it (another
  // screen, another scale factor): it is fitted into the screen's free area.
  PlaceWindow(*this, QRect(left, top, width > 0 ? width : this->width(), height > 0 ? height : this->height()));
  if (state == kWindowMaximised) {
    setWindowState(windowState() | Qt::WindowMaximized);
  } else if (state == kWindowMinimised) {
    setWindowState(windowState() | Qt::WindowMinimized);
  }
}

void MainWindow::RestoreSettings() {
  const SettingsStore& s = store_;
  QuickSetBits = s.ReadInt("Settings", "QuickSetBits", QuickSetBits);
  for (const OptionRow& row : kOptions) {
    QAction* item = Item(row.item);
    item->setChecked(s.ReadBool("Settings", row.key, item->isChecked()));
  }
  ApplyDebugRule();

  const QFont current = txtDisplay->font();
  QString family = s.ReadText("Font", "Name", current.family());
  if (family.trimmed().isEmpty()) family = current.family();
  QFont font(family);
  font.setStyleHint(QFont::TypeWriter);
  font.setBold(s.ReadBool("Font", "Bold", current.bold()));
  font.setItalic(s.ReadBool("Font", "Italic", current.italic()));
  const double size = s.ReadDouble("Font", "Size", current.pointSizeF());
  font.setPointSizeF(size > 0 && size < 1000 ? size : current.pointSizeF());
  SetListingFont(font);
  txtDisplay->setLineWrapMode(QPlainTextEdit::NoWrap);

  LastFile = s.ReadText("Mru", "LastFile");
  SaveFile = s.ReadText("Mru", "SaveFile");
  PropToolPath = s.ReadText("PropTool", "Path");
  PropToolManual = s.ReadText("PropTool", "Manual");
  PropToolQuickReference = s.ReadText("PropTool", "QuickReference");
  Item("mnuOptions_PortAutoFind")->setChecked(s.ReadBool("Ports", "AutoFind", false));
  MaxPorts = std::clamp(s.ReadInt("Ports", "MaxPorts", 0), 0, 8);
  PortNumber = s.ReadInt("Ports", "Port", 0);
  FindText = s.ReadText("Find", "0");
  FindMode = s.ReadInt("Find", "Mode", 0);
  FindHistory.clear();
  for (int i = 1; i <= 10; ++i) {
    const QString entry = s.ReadText("Find", QString::number(i));
    if (!entry.isEmpty()) FindHistory.append(entry);
  }
  cboMruList = LoadRecentFiles(s);
  RebuildRecentMenu();
}

void MainWindow::RestoreDownloadTarget() { RestorePorts(*this); }

}  // namespace brevin
