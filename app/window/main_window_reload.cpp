// Auto-Reload: a one-second tick reloads the image when it was written since it
// was last loaded (see file_watch.h for the test).
#include <QTimer>

#include "window/main_window.h"

namespace brevin {

void MainWindow::ConnectAutoReload() {
  connect(ReloadTimer, &QTimer::timeout, this, &MainWindow::ReloadTimer_Timer);
  connect(Item("mnuFile_AutoReload"), &QAction::triggered, this, &MainWindow::mnuFile_AutoReload_Click);
}

void MainWindow::mnuFile_AutoReload_Click() {
  // Qt has inverted the check mark already.
  if (Item("mnuFile_AutoReload")->isChecked()) {
    ReloadTimer->start();
    ReloadTimer_Timer();
  } else {
    ReloadTimer->stop();
  }
}

void MainWindow::ReloadTimer_Timer() {
  if (!Item("mnuFile_AutoReload")->isChecked() || LastFile.isEmpty()) {
    ReloadTimer->stop();
    return;
  }
  switch (ReloadWatch.Check(LastFile)) {
    case FileWatch::Change::Missing:
      ReloadTimer->stop();  // silently; opening or refreshing an image starts it again
      break;
    case FileWatch::Change::Written:
      // The load arms the watch again before it reads, so one write gives one
      // reload, and a rewrite the engine refuses waits for the next write.
      LoadAndDisassemble(LastFile, true);
      break;
    case FileWatch::Change::None:
      break;
  }
}

}  // namespace brevin
