// Auto-Reload: a one-second tick reloads the image when it was written since it
// was last loaded (see file_watch.h for the test).
#include <QTimer>

#include "document/document_controller.h"

namespace brevin {

void DocumentController::ToggleAutoReload(bool on) {
  if (on) {
    reloadTimer_.start();
    CheckForReload();
  } else {
    reloadTimer_.stop();
  }
}

void DocumentController::CheckForReload() {
  if (!hooks_.options().AutoReload || lastFile_.isEmpty()) {
    reloadTimer_.stop();
    return;
  }
  switch (reloadWatch_.Check(lastFile_)) {
    case FileWatch::Change::Missing:
      reloadTimer_.stop();  // silently; opening or refreshing an image starts it again
      break;
    case FileWatch::Change::Written:
      // The load arms the watch again before it reads, so one write gives one
      // reload, and a rewrite the engine refuses waits for the next write.
      LoadAndDisassemble(lastFile_, true);
      break;
    case FileWatch::Change::None:
      break;
  }
}

}  // namespace brevin
