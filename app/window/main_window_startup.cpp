// The main window's start-up: the guard against extra instances, the upgrade
// notice, restoring the saved state, showing the window and reopening the last
// image unless the previous run ended abnormally.
#include <QCoreApplication>
#include <QTimer>
#include <QToolBar>

#include "dialogs/about.h"
#include "tool/debug_flags.h"
#include "window/shell_support.h"
#include "document/document_controller.h"
#include "brevin/engine.h"
#include "tool/port_controller.h"
#include "window/main_window.h"
#include "instance_guard.h"
#include "window/prompt.h"
#include "window/settings_store.h"
#include "brevin/version_text.h"

namespace brevin {

void MainWindow::AdoptInstanceGuard(std::unique_ptr<platform::InstanceGuard> guard) { guard_ = std::move(guard); }

std::unique_ptr<platform::InstanceGuard> MainWindow::TakeInstanceGuard() { return std::move(guard_); }

bool MainWindow::Start() {
  if (!DecideInstance()) return false;

  RestoreWindowPlacement();
  RestoreSettings();
  Engine& engine = document_->engine();
  SeenFlags opcodes = engine.SeenOpcodes(), effects = engine.SeenEffects();
  LoadDebugFlags(store_, Process().DeveloperMode, opcodes, effects);
  engine.SetSeenFlags(opcodes, effects);
  ApplyBars();

  const bool developer = Process().DeveloperMode;
  for (Command command : {Command::WrappersSeparator, Command::CreateTestWrapper, Command::CreateTestWrappers,
                          Command::DeleteWrappers}) {
    Action(command)->setVisible(developer);
  }

  show();
  if (toolBar_->isVisible()) QCoreApplication::processEvents();
  if (closing_) return false;  // closed while starting: the settings are saved, nothing more to do

  ports_->RestorePorts();

  if (!store_.ReadBool("Setup", "Crashed", false)) {
    store_.WriteBool("Setup", "Crashed", true);
    store_.Sync();
    const QString lastFile = document_->LastFile();
    if (Process().ImagePath.isEmpty() && !lastFile.isEmpty() && Action(Command::ReloadAtStart)->isChecked() &&
        FileExists(lastFile) && !HasSwitch("/NOLOAD")) {
      document_->OpenFile(lastFile);
    }
  }
  // An image named on the command line is opened instead of the last one, even
  // after a crash: the user asked for it now.
  if (!Process().ImagePath.isEmpty()) document_->OpenChosenFile(Process().ImagePath);

  if (Action(Command::AutoReload)->isChecked() && Action(Command::ReloadAtStart)->isChecked()) {
    document_->ReloadTimer().start();
  }
  loaded_ = true;
  ports_->SetProbing(true);  // from now on choosing a port tries it
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
    const QString title = "Run " + count + OrdinalSuffix(n) + " Instance of " + ProductTitleText() + " ?";
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
