#include "desktop/desktop_integration.h"

#include <QAction>
#include <QHelpEvent>
#include <QMainWindow>
#include <QMenu>
#include <QToolTip>

#include "desktop/desktop_icons.h"
#include "desktop/file_drop.h"

namespace brevin {

namespace {

// Shows a menu item's own tool-tip (a recent file's full path) and no other:
// the items that double as toolbar buttons carry the buttons' short tips.
class RecentFileTips : public QObject {
 public:
  explicit RecentFileTips(QMenu* menu) : QObject(menu), menu_(menu) {
    // A menu shows its items' tool-tips only when told to.
    menu->setToolTipsVisible(true);
    menu->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != menu_ || event->type() != QEvent::ToolTip) return false;
    auto* help = static_cast<QHelpEvent*>(event);
    const QAction* action = menu_->actionAt(help->pos());
    const QString tip = action != nullptr ? action->toolTip() : QString();
    if (action != nullptr && !tip.isEmpty() && action->data().isValid()) {
      QToolTip::showText(help->globalPos(), tip, menu_);
    } else {
      QToolTip::hideText();
    }
    return true;
  }

 private:
  QMenu* menu_;
};

}  // namespace

void ApplyDesktopIntegration(QMainWindow& window, QPlainTextEdit& listing, QMenu* fileMenu,
                             std::function<void(const QString&)> open) {
  window.setWindowIcon(ApplicationIcon());
  new FileDropOpener(window, listing, std::move(open));
  if (fileMenu != nullptr) new RecentFileTips(fileMenu);
}

}  // namespace brevin
