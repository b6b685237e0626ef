// Commands of the main window: open, refresh, the window's side of a load, the
// reference tables, copy and select all, and the command states.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolBar>

#include "asm_reports.h"
#include "dialogs/debug_window.h"
#include "window/shell_support.h"
#include "engine.h"
#include "listing/listing_navigator.h"
#include "window/main_window.h"
#include "window/prompt.h"
#include "window/settings_store.h"
#include "window/shell_host.h"
#include "spin_reports.h"
#include "tables.h"
#include "listing/text_area.h"
#include "listing/view_position.h"

namespace brevin {

namespace {

constexpr const char* kOpenFilter =
    "Propeller Image Files (*.binary,*.eeprom) (*.binary *.eeprom *.bin *.eep);;"
    "Spin Source Files (*.spin) (*.spin *.spi);;"
    "Spin Bytecode Files (*.bytecode) (*.bytecode *.byt)";

// The listing and the reports end their lines in CR LF; the text area wants bare line feeds.
QString DisplayText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  shown.replace('\r', '\n');
  return shown;
}

void Inform(const QString& text) {
  Prompt(ProductTitleText(), text, MessageButtons::Ok, MessageIcon::Information);
}

void Warn(const QString& text) { Prompt(ProductTitleText(), text, MessageButtons::Ok, MessageIcon::Warning); }

}  // namespace

void MainWindow::OpenFrom(const QString& lastFile) {
  const QString name = ChooseOpenFile("Open Image File ...", FolderOf(lastFile), FileNameOf(lastFile), kOpenFilter);
  if (name.isEmpty()) return;
  OpenChosenFile(name);
}

void MainWindow::OpenChosenFile(const QString& name) {
  const QString upper = name.toUpper();
  if (upper.endsWith(".SPIN")) {
    Inform("Sorry - Cannot compile Spin source files at this time");
  } else if (upper.endsWith(".BYTECODE")) {
    Inform("Sorry - Cannot Assemble Spin bytecode files at the present time");
  } else {
    OpenFile(name);
  }
}

void MainWindow::OpenFile(const QString& filename) {
  if (!FileExists(filename)) {
    Inform("Cannot find file\r\n\r\n" + filename);
    return;
  }
  QString folder = FolderOf(filename);
  if (folder == FolderOf(LastFile) && !SaveFile.isEmpty()) folder = FolderOf(SaveFile);
  if (!folder.isEmpty()) folder += '/';
  const QString previousSource = SourcePath;
  const QString previousSave = SaveFile;
  const bool previousArmed = SourceWarningArmed;
  SourcePath = folder + BaseNameOf(filename) + ".spin";
  SourceWarningArmed = true;
  SaveFile = folder + BaseNameOf(filename) + ".lst";
  if (Process().DeveloperMode) SaveSettings();
  if (!LoadAndDisassemble(filename, false)) {
    // The image was not listed: the window stays as it was, paths included.
    SourcePath = previousSource;
    SaveFile = previousSave;
    SourceWarningArmed = previousArmed;
  }
}

void MainWindow::Refresh() {
  if (Process().DeveloperMode) SaveSettings();
  if (FileExists(LastFile)) {
    if (debugWindow_) debugWindow_->ClearText();
    LoadAndDisassemble(LastFile, false);
  } else {
    Warn("Cannot find " + LastFile);
  }
}

bool MainWindow::LoadAndDisassemble(const QString& path, bool autoReloaded) {
  // Arm the reload watch before the file is read. The timer rests while this
  // load runs and watches afterwards when Auto-Reload is checked.
  ReloadWatch.Arm(path);
  const TimerPause pause(ReloadTimer, [this] { return Item("mnuFile_AutoReload")->isChecked(); });
  host_->ClearDebugText();  // until the debug window shows it, only the last analysis's text is kept
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QCoreApplication::processEvents();
  // The engine shows the missing-source notice once while the shell keeps it armed.
  engine_->ArmSourceWarning(SourceWarningArmed);
  const LoadResult result = engine_->LoadAndDisassemble(QFile::encodeName(path).toStdString(), autoReloaded);
  SourceWarningArmed = engine_->SourceWarningIsArmed();
  QApplication::restoreOverrideCursor();
  ShowDebugOutput();

  if (result.status != LoadStatus::Listed) {
    // A declined checksum question was the user's own choice; anything else is reported.
    // Either way the window keeps the listing, caption and commands it had.
    if (result.status != LoadStatus::Declined) Warn(QString::fromStdString(result.message));
    return false;
  }
  const bool sameImage = path == LastFile;
  LastFile = path;
  Form_Resize();
  StatusPanel[0]->setText(path);
  analysis_ = result.analysis;
  StatusPanel[1]->setText(QString::fromStdString(analysis_->sizeText));
  BytecodeListing = analysis_->bytecodeListing;
  // A new listing of the image already shown keeps the reader's place.
  const bool keepPlace = listingShown_ && sameImage && Item("mnuView_KeepPosition")->isChecked();
  const ViewPosition place = keepPlace ? CaptureView(txtDisplay) : ViewPosition{};
  navigator_->SetAnalysis(analysis_);  // before the text, so it is coloured as it loads
  txtDisplay->setPlainText(DisplayText(analysis_->listing));
  if (keepPlace) RestoreView(txtDisplay, place);
  listingShown_ = true;
  SetListingCommands();
  AddRecentFile(path);
  if (!result.warnings.empty()) {
    QStringList lines;
    for (const std::string& w : result.warnings) lines << QString::fromStdString(w);
    Warn(lines.join("\r\n"));
  }
  return true;
}

void MainWindow::SetListingCommands() {
  for (const char* name : {"mnuFile_Save", "mnuFile_SaveAs", "mnuFile_Print", "mnuFile_PrintWithSource", "mnuEdit_Copy",
                           "mnuEdit_SelectAll", "mnuEdit_Find", "mnuEdit_FindNext", "mnuFile_ExportPdf"}) {
    Item(name)->setEnabled(true);
  }
  for (const char* key : {"SAVE", "PRINT", "COPY", "FIND"}) SetToolbarButton(key, true);
}

void MainWindow::Disable_Downloads() {
  for (const char* name :
       {"mnuFile_Save", "mnuFile_SaveAs", "mnuFile_PrintWithSource", "mnuPort_Run", "mnuPort_Download(0)",
        "mnuPort_Download(1)"}) {
    Item(name)->setEnabled(false);
  }
  for (const char* name : {"mnuFile_Print", "mnuEdit_Copy", "mnuEdit_SelectAll", "mnuEdit_Find", "mnuEdit_FindNext",
                           "mnuFile_ExportPdf"}) {
    Item(name)->setEnabled(true);
  }
  SetToolbarButton("SAVE", false);
  SetToolbarButton("DOWNLOAD", false);
  for (const char* key : {"COPY", "PRINT", "FIND"}) SetToolbarButton(key, true);
}

void MainWindow::Toolbar_ButtonClick(QAction* button) {
  const QString key = button->toolTip().toUpper();
  // A button acts only while the menu item it stands for is enabled.
  const auto relay = [this](const char* item) {
    if (QAction* target = Item(item); target->isEnabled()) target->trigger();
  };
  if (key == "EXIT") {
    close();
  } else if (key == "REFRESH") {
    Refresh();
  } else if (key == "OPEN") {
    OpenFrom(LastFile);
  } else if (key == "SAVE") {
    relay("mnuFile_SaveAs");
  } else if (key == "PRINT") {
    relay("mnuFile_Print");
  } else if (key == "COPY") {
    relay("mnuEdit_Copy");
  } else if (key == "FIND") {
    relay("mnuEdit_Find");
  } else if (key == "DOWNLOAD") {
    relay("mnuPort_Run");
  }
}

void MainWindow::ShowReference(const std::string& text) {
  listingShown_ = false;
  navigator_->SetAnalysis(nullptr);
  txtDisplay->setPlainText(DisplayText(text));
  Disable_Downloads();
}

void MainWindow::ShowSpinOpcodes() { ShowReference(SpinOpcodesReport(SharedTables().Spin, engine_->SeenOpcodes())); }

void MainWindow::ShowSpinEffects() { ShowReference(SpinEffectsReport(SharedTables().Spin)); }

void MainWindow::ShowAsmbOpcodes() { ShowReference(AsmOpcodesReport(SharedTables().Asm)); }

void MainWindow::ShowImageFlags() { ShowReference(engine_->ListImageFlags()); }

void MainWindow::CopyText() { CopyToClipboard(txtDisplay); }

void MainWindow::SelectAllText() { SelectAllWithoutFlicker(txtDisplay); }

void MainWindow::AddRecentFile(const QString& path) {
  brevin::AddRecentFile(cboMruList, path);
  RebuildRecentMenu();
}

RecentMenu MainWindow::RecentMenuItems() const {
  RecentMenu menu;
  for (int i = 0; i < kMruMenuItems; ++i) {
    menu.items[static_cast<std::size_t>(i)] = Item(QString("mnuFile_Mru(%1)").arg(i));
  }
  menu.separator = Item("mnuFile_Serator_Mru");
  menu.flush = Item("mnuOptions_FlushMru");
  return menu;
}

void MainWindow::RebuildRecentMenu() { brevin::RebuildRecentMenu(cboMruList, RecentMenuItems()); }

void MainWindow::mnuOptions_FlushMru_Click() {
  const MessageAnswer answer = Prompt(ProductTitleText(), "Are you sure you want to flush the Files Used List ?",
                                      MessageButtons::YesNo, MessageIcon::Question);
  if (answer != MessageAnswer::Yes) return;
  FlushRecentFiles(store_, cboMruList);
  RebuildRecentMenu();
}

}  // namespace brevin
