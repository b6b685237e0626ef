#include "window/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "window/settings_store.h"

namespace brevin {

namespace {

// Before the window is shown the window manager has not told its frame yet:
// assume a common title bar and border so the bottom edge stays on screen.
QMargins FrameOf(const QWidget& window) {
  const QRect frame = window.frameGeometry();
  const QRect client = window.geometry();
  const QMargins known(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                       frame.bottom() - client.bottom());
  return known.isNull() ? QMargins(4, 32, 4, 4) : known;
}

const QScreen* ScreenFor(const QRect& wanted) {
  const QScreen* best = nullptr;
  long long bestArea = 0;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect common = screen->availableGeometry().intersected(wanted);
    const long long area = common.isEmpty() ? 0 : static_cast<long long>(common.width()) * common.height();
    if (area > bestArea) {
      best = screen;
      bestArea = area;
    }
  }
  return best != nullptr ? best : QGuiApplication::primaryScreen();
}

}  // namespace

QRect FitIntoArea(const QRect& wanted, const QRect& area, const QMargins& frame) {
  const int extraWidth = frame.left() + frame.right();
  const int extraHeight = frame.top() + frame.bottom();
  const int outerWidth = std::min(wanted.width() + extraWidth, area.width());
  const int outerHeight = std::min(wanted.height() + extraHeight, area.height());
  const int x = std::clamp(wanted.x(), area.left(), area.left() + area.width() - outerWidth);
  const int y = std::clamp(wanted.y(), area.top(), area.top() + area.height() - outerHeight);
  return QRect(x, y, std::max(1, outerWidth - extraWidth), std::max(1, outerHeight - extraHeight));
}

void PlaceWindow(QWidget& window, const QRect& wanted) {
  const QScreen* screen = ScreenFor(wanted);
  if (screen == nullptr) {
    window.resize(wanted.size());
    window.move(wanted.topLeft());
    return;
  }
  const QRect fitted = FitIntoArea(wanted, screen->availableGeometry(), FrameOf(window));
  window.resize(fitted.size());
  window.move(fitted.topLeft());
}

void CentreWindow(QWidget& window, const QSize& size) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    window.resize(size);
    return;
  }
  const QRect area = screen->availableGeometry();
  const QRect centred(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2,
                      size.width(), size.height());
  PlaceWindow(window, centred);
}

double StoredUnitsPerPixel(const QWidget* widget) {
  const QScreen* shown = widget != nullptr ? widget->screen() : QGuiApplication::primaryScreen();
  const double dpi = shown != nullptr && shown->logicalDotsPerInchY() > 0 ? shown->logicalDotsPerInchY() : 96.0;
  // Widget sizes are in logical pixels, which a scale factor (QT_SCALE_FACTOR,
  // a HiDPI screen) makes larger on the screen: count the device pixels, so a
  // place taken at one scale is the same size on the screen at another.
  const double ratio = shown != nullptr && shown->devicePixelRatio() > 0 ? shown->devicePixelRatio() : 1.0;
  return 1440.0 / dpi * ratio;
}

void RestorePlacement(QWidget* window, const SettingsStore& store, const QString& section, bool withSize) {
  const double twips = StoredUnitsPerPixel(window);
  const auto pixels = [twips](double value) { return static_cast<int>(std::lround(value / twips)); };
  QSize size = window->size();
  if (withSize) {
    const QSize stored(pixels(store.ReadDouble(section, "Width", size.width() * twips)),
                       pixels(store.ReadDouble(section, "Height", size.height() * twips)));
    if (stored.width() > 0 && stored.height() > 0) size = stored;
  }
  if (!store.Contains(section, "Top") || !store.Contains(section, "Left")) {
    CentreWindow(*window, size);
    return;
  }
  const QPoint stored(pixels(store.ReadDouble(section, "Left", 0)), pixels(store.ReadDouble(section, "Top", 0)));
  PlaceWindow(*window, QRect(stored, size));
}

void SavePlacement(const QWidget* window, SettingsStore& store, const QString& section, bool withSize) {
  if (window->isMinimized() || window->isMaximized() || window->isFullScreen()) return;
  const double twips = StoredUnitsPerPixel(window);
  const auto toTwips = [twips](int value) { return static_cast<long long>(std::lround(value * twips)); };
  store.WriteInt(section, "Top", toTwips(window->y()));
  store.WriteInt(section, "Left", toTwips(window->x()));
  if (withSize) {
    store.WriteInt(section, "Height", toTwips(window->height()));
    store.WriteInt(section, "Width", toTwips(window->width()));
  }
}

}  // namespace brevin
