// The settings store of the main window: what is saved at shutdown and restored
// at start-up, the option toggles, Auto-Refresh and the quick settings.
#include <QDockWidget>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <cmath>

#include "window/shell_support.h"
#include "document/document_controller.h"
#include "listing/find_controller.h"
#include "listing/listing_view.h"
#include "recovery/spin_source_controller.h"
#include "tool/port_controller.h"
#include "tool/propeller_tool_install.h"
#include "window/main_window.h"
#include "window/settings_store.h"
#include "window/window_placement.h"

namespace brevin {

namespace {

// How toggling the item behaves.
enum class Toggle {
  Refresh,  // invert, then Auto-Refresh
  Now,      // invert, then list again at once (the options of this program's own)
  Mark,     // invert only
  Bar,      // invert, show or hide the bar, lay out again
  Debug,    // invert, then the Debug Variables enabling rule
};

struct OptionRow {
  const char* key;  // in section "Settings"
  Command item;
  Toggle toggle;
};

// The menu-backed options, in the order they are restored and saved.
constexpr OptionRow kOptions[] = {
    {"ShowImage", Command::ShowImage, Toggle::Refresh},
    {"IncludeSourceCode", Command::IncludeSourceCode, Toggle::Refresh},
    {"ProcessAssembler", Command::ProcessAssembler, Toggle::Refresh},
    {"ShowLabels", Command::ShowLabels, Toggle::Refresh},
    {"FoldOpcodes", Command::FoldOpcodes, Toggle::Refresh},
    {"FoldEffects", Command::FoldEffects, Toggle::Refresh},
    {"FoldOperators", Command::FoldOperators, Toggle::Refresh},
    {"FoldArguments", Command::FoldArguments, Toggle::Refresh},
    {"FoldSpr", Command::FoldSpr, Toggle::Refresh},
    {"FoldIndexes", Command::FoldIndexes, Toggle::Refresh},
    {"KeepPosition", Command::KeepPosition, Toggle::Mark},
    {"ColonsAfterLabels", Command::ColonsAfterLabels, Toggle::Refresh},
    {"ForceHash", Command::ForceHash, Toggle::Refresh},
    {"DefaultLong", Command::DefaultLongVariables, Toggle::Refresh},
    {"CastVariables", Command::CastVariables, Toggle::Refresh},
    {"SymbolTable", Command::SymbolTable, Toggle::Refresh},
    {"TraceAllMethods", Command::TraceAllMethods, Toggle::Now},
    {"LibraryNames", Command::LibraryNames, Toggle::Now},
    {"AutoRefresh", Command::AutoRefresh, Toggle::Refresh},
    {"ShowToolbar", Command::ShowToolbar, Toggle::Bar},
    {"ShowStatusbar", Command::ShowStatusBar, Toggle::Bar},
    {"DebugSpin", Command::DebugSpin, Toggle::Debug},
    {"DebugAsmb", Command::DebugAsmb, Toggle::Debug},
    {"DebugVars", Command::DebugVars, Toggle::Debug},
    {"ReloadAtStart", Command::ReloadAtStart, Toggle::Mark},
    {"AutoReload", Command::AutoReload, Toggle::Mark},
    {"InhibitWarnings", Command::InhibitWarnings, Toggle::Mark},
    {"ShowSpinSource", Command::ShowSpinSource, Toggle::Mark},  // the dock follows its mark
};

// The seven options the quick settings switch, by bit of QuickSetBits.
constexpr Command kQuickItems[] = {Command::ShowLabels,    Command::FoldOpcodes,   Command::FoldEffects,
                                       Command::FoldOperators, Command::FoldArguments, Command::FoldSpr,
                                       Command::FoldIndexes};

// The layout of the saved dock state; a state of another layout is not restored.
constexpr int kDockStateVersion = 1;

constexpr int kWindowNormal = 0;
constexpr int kWindowMinimised = 1;
constexpr int kWindowMaximised = 2;

}  // namespace

Options MainWindow::CurrentOptions() const {
  const auto on = [this](Command command) { return Action(command)->isChecked(); };
  Options o;
  o.ShowImage = on(Command::ShowImage);
  o.IncludeSourceCode = on(Command::IncludeSourceCode);
  o.ProcessAssembler = on(Command::ProcessAssembler);
  o.ShowLabels = on(Command::ShowLabels);
  o.FoldOpcodes = on(Command::FoldOpcodes);
  o.FoldEffects = on(Command::FoldEffects);
  o.FoldOperators = on(Command::FoldOperators);
  o.FoldArguments = on(Command::FoldArguments);
  o.FoldSpr = on(Command::FoldSpr);
  o.FoldIndexes = on(Command::FoldIndexes);
  o.ColonsAfterLabels = on(Command::ColonsAfterLabels);
  o.ForceHash = on(Command::ForceHash);
  o.DefaultLongVariables = on(Command::DefaultLongVariables);
  o.CastVariables = on(Command::CastVariables);
  o.SymbolTable = on(Command::SymbolTable);
  o.TraceAllMethods = on(Command::TraceAllMethods);
  o.LibraryNames = on(Command::LibraryNames);
  o.DebugSpin = on(Command::DebugSpin);
  o.DebugAsmb = on(Command::DebugAsmb);
  o.DebugVars = on(Command::DebugVars);
  o.InhibitWarnings = on(Command::InhibitWarnings);
  o.AutoReload = on(Command::AutoReload);
  return o;
}

// ---- Toggles

void MainWindow::ConnectOptionToggles() {
  for (const OptionRow& row : kOptions) {
    QAction* item = Action(row.item);
    // Qt inverts the check mark of a checkable item before "triggered" arrives.
    switch (row.toggle) {
      case Toggle::Refresh:
        connect(item, &QAction::triggered, this, [this, item] { ToggleOption(item); });
        break;
      case Toggle::Now:
        connect(item, &QAction::triggered, this, [this] { ApplyOwnOption(); });
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
  if (item == Action(Command::IncludeSourceCode)) document_->SetSourceWarningArmed(true);
  AutoRefresh();
}

void MainWindow::ApplyOwnOption() {
  // Nothing to make again while no listing is shown (none yet, or a reference
  // table): the next open takes the option.
  if (document_->ListingShown()) document_->Refresh();
}

void MainWindow::ApplyDebugRule() {
  Action(Command::DebugVars)->setEnabled(Action(Command::DebugSpin)->isChecked() || Action(Command::DebugAsmb)->isChecked());
}

void MainWindow::AutoRefresh() {
  if (Action(Command::AutoRefresh)->isChecked()) document_->Refresh();
}

void MainWindow::QuickSet(int index, QAction* item, int action) {
  const int bit = 1 << index;
  switch (action) {
    case kQuickSetDefaults:
      quickSetBits_ = item->isChecked() ? (quickSetBits_ | bit) : (quickSetBits_ & ~bit);
      break;
    case kQuickAllOn:
      item->setChecked(true);
      break;
    case kQuickDefault:
      item->setChecked((quickSetBits_ & bit) != 0);
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
    QuickSet(index, Action(kQuickItems[index]), action);
  }
  if (action != kQuickSetDefaults) AutoRefresh();
}

// ---- Save

void MainWindow::SaveSettings() {
  SettingsStore& s = store_;
  const double twips = StoredUnitsPerPixel(this);
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
  // Where the docks are and how large: the Outline's width, the Spin Source's height.
  s.WriteText("Window", "Docks", QString::fromLatin1(saveState(kDockStateVersion).toBase64()));

  s.WriteText("Mru", "LastFile", document_->LastFile());
  s.WriteText("Mru", "SaveFile", document_->SaveFile());
  ports_->Save(s);
  s.WriteInt("Settings", "QuickSetBits", quickSetBits_);
  for (const OptionRow& row : kOptions) s.WriteBool("Settings", row.key, Action(row.item)->isChecked());

  const QFont font = listingView_->font();
  s.WriteText("Font", "Name", font.family());
  s.WriteBool("Font", "Bold", font.bold());
  s.WriteBool("Font", "Italic", font.italic());
  s.WriteDouble("Font", "Size", font.pointSizeF());

  find_->Save(s);
  spinSource_->Save(s);
  SaveRecentFiles(s, recentFiles_);
  tool_->Save(s);

  s.WriteBool("Setup", "Crashed", false);
  s.Sync();
}

// ---- Restore

void MainWindow::RestoreWindowPlacement() {
  const SettingsStore& s = store_;
  const double twips = StoredUnitsPerPixel(this);
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
  // The docks as they were left. Which are shown is then the menus' business
  // (their marks are restored next), as are the bars.
  const QByteArray docks = QByteArray::fromBase64(s.ReadText("Window", "Docks").toLatin1());
  if (!docks.isEmpty() && restoreState(docks, kDockStateVersion)) {
    docksRestored_ = true;
    spinSource_->KeepDockSize();
  }
}

void MainWindow::RestoreSettings() {
  const SettingsStore& s = store_;
  quickSetBits_ = s.ReadInt("Settings", "QuickSetBits", quickSetBits_);
  for (const OptionRow& row : kOptions) {
    QAction* item = Action(row.item);
    item->setChecked(s.ReadBool("Settings", row.key, item->isChecked()));
  }
  ApplyDebugRule();
  // The mark decides, whatever the restored dock state said.
  spinSource_->Dock()->setVisible(Action(Command::ShowSpinSource)->isChecked());

  const QFont current = listingView_->font();
  QString family = s.ReadText("Font", "Name", current.family());
  if (family.trimmed().isEmpty()) family = current.family();
  QFont font(family);
  font.setStyleHint(QFont::TypeWriter);
  font.setBold(s.ReadBool("Font", "Bold", current.bold()));
  font.setItalic(s.ReadBool("Font", "Italic", current.italic()));
  const double size = s.ReadDouble("Font", "Size", current.pointSizeF());
  font.setPointSizeF(size > 0 && size < 1000 ? size : current.pointSizeF());
  SetListingFont(font);
  listingView_->setLineWrapMode(QPlainTextEdit::NoWrap);

  document_->SetLastFile(s.ReadText("Mru", "LastFile"));
  document_->SetSaveFile(s.ReadText("Mru", "SaveFile"));
  tool_->Load(s);
  ports_->Load(s);
  find_->Load(s);
  spinSource_->Load(s);
  recentFiles_ = LoadRecentFiles(s);
  RebuildRecentMenu();
}

}  // namespace brevin
