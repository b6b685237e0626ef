// Auto-Reload: a one-second tick reloads the image when it was written since it
// was last loaded (see file_watch.h for the test), once the writing is over.
#include <QTimer>

#include "document/document_controller.h"

namespace brevin {

namespace {
constexpr int kWatchInterval = 1000;  // ms between looks at the image
// While a written file settles the ticks come faster: it is reloaded once it has
// stayed the same for two of them, about half a second.
constexpr int kSettleInterval = 250;
}  // namespace

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
  const FileWatch::Change change = reloadWatch_.CheckSettled(lastFile_);
  reloadTimer_.setInterval(change == FileWatch::Change::Settling ? kSettleInterval : kWatchInterval);
  switch (change) {
    case FileWatch::Change::Missing:
      reloadTimer_.stop();  // silently; opening or refreshing an image starts it again
      break;
    case FileWatch::Change::Written:
      // The load arms the watch again before it reads, so one write gives one
      // reload, and a rewrite the engine refuses waits for the next write.
      LoadAndDisassemble(lastFile_, true);
      break;
    case FileWatch::Change::Settling:  // another program may still be writing it
    case FileWatch::Change::None:
      break;
  }
}

}  // namespace brevin
