#include "listing/listing_zoom.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QWidget>
#include <algorithm>
#include <iterator>

namespace brevin {

namespace {

constexpr double kSizes[] = {6, 7, 8, 8.25, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 36, 48, 72};

void SetListingSize(QPlainTextEdit& listing, double size) {
  QFont font = listing.font();
  font.setPointSizeF(size);
  listing.setFont(font);
}

}  // namespace

double NextZoomSize(double current, int direction) {
  if (direction > 0) {
    const auto* larger = std::upper_bound(std::begin(kSizes), std::end(kSizes), current + 1e-6);
    return larger == std::end(kSizes) ? current : *larger;
  }
  const auto* notSmaller = std::lower_bound(std::begin(kSizes), std::end(kSizes), current - 1e-6);
  return notSmaller == std::begin(kSizes) ? current : *std::prev(notSmaller);
}

void InstallListingZoom(QWidget& window, QPlainTextEdit& listing) {
  const auto add = [&window](const char* name, const QList<QKeySequence>& keys, auto handler) {
    auto* action = new QAction(&window);
    action->setObjectName(name);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, &window, handler);
    window.addAction(action);
  };
  QPlainTextEdit* text = &listing;
  // Ctrl+= as well: on most layouts "+" needs Shift.
  add("ZoomIn", {QKeySequence(QKeySequence::ZoomIn), QKeySequence("Ctrl+=")},
      [text] { SetListingSize(*text, NextZoomSize(text->font().pointSizeF(), +1)); });
  add("ZoomOut", {QKeySequence(QKeySequence::ZoomOut)},
      [text] { SetListingSize(*text, NextZoomSize(text->font().pointSizeF(), -1)); });
  add("ZoomReset", {QKeySequence("Ctrl+0")}, [text] { SetListingSize(*text, kDesignListingSize); });
}

}  // namespace brevin
