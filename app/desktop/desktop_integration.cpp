#include "desktop/desktop_integration.h"

#include <QAction>
#include <QMenu>

#include "desktop/desktop_icons.h"
#include "desktop/file_drop.h"
#include "listing/listing_zoom.h"
#include "window/main_window.h"

namespace brevin {

void ApplyDesktopIntegration(MainWindow& window) {
  window.setWindowIcon(ApplicationIcon());
  new FileDropOpener(window);
  InstallListingZoom(window, *window.txtDisplay);
  // A menu shows its items' tool-tips (the recent files' full paths) only when told to.
  if (QAction* file = window.Item("mnuFile"); file != nullptr && file->menu() != nullptr) {
    file->menu()->setToolTipsVisible(true);
  }
}

}  // namespace brevin
