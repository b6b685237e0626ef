// The main window's start-up: the guard against extra instances, the upgrade
// notice, restoring the saved state, showing the window and reopening the last
// image unless the previous run ended abnormally.
#include <QCoreApplication>
#include <QTimer>
#include <QToolBar>

#include "dialogs/about.h"
#include "tool/debug_flags.h"
#include "window/shell_support.h"
#include "engine.h"
#include "window/main_window.h"
#include "instance_guard.h"
#include "window/prompt.h"
#include "window/settings_store.h"
#include "tables.h"
#include "version_text.h"

namespace brevin {

void MainWindow::AdoptInstanceGuard(std::unique_ptr<platform::InstanceGuard> guard) { guard_ = std::move(guard); }

std::unique_ptr<platform::InstanceGuard> MainWindow::TakeInstanceGuard() { return std::move(guard_); }

bool MainWindow::Form_Load() {
  if (!DecideInstance()) return false;

  RestoreWindowPlacement();
  RestoreSettings();
  SeenFlags opcodes = engine_->SeenOpcodes(), effects = engine_->SeenEffects();
  LoadDebugFlags(store_, Process().DeveloperMode, opcodes, effects);
  engine_->SetSeenFlags(opcodes, effects);
  ApplyBars();

  const bool developer = Process().DeveloperMode;
  for (const char* name : {"mnuHelp_Separator_Delete", "mnuHelp_CreateTestWrapper", "mnuHelp_CreateTestWrappers",
                           "mnuHelp_DeleteWrappers"}) {
    Item(name)->setVisible(developer);
  }

  show();
  if (Toolbar->isVisible()) QCoreApplication::processEvents();
  if (closing_) return false;  // closed while starting: the settings are saved, nothing more to do

  RestoreDownloadTarget();
  SharedTables();

  if (!store_.ReadBool("Setup", "Crashed", false)) {
    store_.WriteBool("Setup", "Crashed", true);
    store_.Sync();
    if (Process().ImagePath.isEmpty() && !LastFile.isEmpty() && Item("mnuFile_ReloadAtStart")->isChecked() &&
        FileExists(LastFile) && !HasSwitch("/NOLOAD")) {
      OpenFile(LastFile);
    }
  }
  // An image named on the command line is opened instead of the last one, even
  // after a crash: the user asked for it now.
  if (!Process().ImagePath.isEmpty()) OpenChosenFile(Process().ImagePath);

  if (Item("mnuFile_AutoReload")->isChecked() && Item("mnuFile_ReloadAtStart")->isChecked()) ReloadTimer->start();
  loaded_ = true;
  return true;
}

// First instance: record the start and capture the quick-settings defaults.
// Additional instance: take the start-up lock, ask when more instances run than
// the user has accepted before, count this one. False ends this instance.
bool MainWindow::DecideInstance() {
  SettingsStore& s = store_;
  s.Sync();
  if (!guard_) guard_ = std::make_unique<platform::InstanceGuard>(platform::InstanceLockPath(s.FileName().toStdString()));
  const bool first = !guard_->OthersRunning() || HasSwitch("/RELAUNCH:WINXP");

  if (first) {
    s.WriteText("Setup", "Instances", "1");
    s.WriteText("Setup", "Blocked", "No");
    QString folder = Process().AppFolder;
    if (folder.endsWith('/') && folder.size() > 1) folder.chop(1);
    s.WriteText("Setup", "Path", folder);
    s.WriteText("Setup", "Installed", DateTimeStamp());
    s.Sync();
    QuickSettings(kQuickSetDefaults);
    ShowUpgradeNotice();
    return true;
  }

  if (s.ReadText("Setup", "Blocked", "Yes") != "No") return false;
  s.WriteText("Setup", "Blocked", "Yes");
  s.Sync();
  const long long n = LeadingNumber(s.ReadText("Setup", "Instances", "1")) + 1;
  const long long m = LeadingNumber(s.ReadText("Setup", "MaxInstances", "1"));
  if (m < n) {
    const QString count = QString::number(n);
    const QString title = "Run " + count + FNth(n) + " Instance of " + ProductTitleText() + " ?";
    const QString text = "Do you really want to run " + count + " instances of the " + ProductTitleText() + " ?";
    if (Prompt(title, text, MessageButtons::YesNo, MessageIcon::Question, MessageAnswer::No) != MessageAnswer::Yes) {
      s.WriteText("Setup", "Blocked", "No");
      s.Sync();
      return false;
    }
    s.WriteInt("Setup", "MaxInstances", n);
  }
  s.WriteInt("Setup", "Instances", n);
  s.WriteText("Setup", "Blocked", "No");
  s.Sync();
  return true;
}

void MainWindow::ShowUpgradeNotice() {
  const QString version = QString::fromStdString(VersionText());
  if (store_.ReadText("Setup", "Version") == version) return;
  Prompt(UpgradeNoticeTitle(), UpgradeNoticeText(), MessageButtons::Ok, MessageIcon::Information);
  store_.WriteText("Setup", "Version", version);
  store_.WriteText("Debug Opc", "Flag", QString());
  store_.Sync();
}

}  // namespace brevin
