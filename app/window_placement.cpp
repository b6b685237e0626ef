#include "window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "settings_store.h"

namespace brevin {

double TwipsPerPixel(const QWidget* widget) {
  const QScreen* shown = widget != nullptr ? widget->screen() : QGuiApplication::primaryScreen();
  const double dpi = shown != nullptr && shown->logicalDotsPerInchY() > 0 ? shown->logicalDotsPerInchY() : 96.0;
  return 1440.0 / dpi;
}

void RestorePlacement(QWidget* window, const SettingsStore& store, const QString& section, bool withSize) {
  const double twips = TwipsPerPixel(window);
  const auto pixels = [twips](double value) { return static_cast<int>(std::lround(value / twips)); };
  if (withSize) {
    const int height = pixels(store.ReadDouble(section, "Height", window->height() * twips));
    const int width = pixels(store.ReadDouble(section, "Width", window->width() * twips));
    if (width > 0 && height > 0) window->resize(width, height);
  }
  int left = 0;
  int top = 0;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    left = area.x() + std::max(0, (area.width() - window->width()) / 2);
    top = area.y() + std::max(0, (area.height() - window->height()) / 2);
  }
  const int storedTop = pixels(store.ReadDouble(section, "Top", top * twips));
  const int storedLeft = pixels(store.ReadDouble(section, "Left", left * twips));
  const QRect title(storedLeft, storedTop, std::max(window->width(), 1), 32);
  bool onScreen = QGuiApplication::screens().isEmpty();
  for (const QScreen* screen : QGuiApplication::screens()) onScreen |= screen->availableGeometry().intersects(title);
  if (onScreen) {
    left = storedLeft;
    top = storedTop;
  }
  window->move(left, top);
}

void SavePlacement(const QWidget* window, SettingsStore& store, const QString& section, bool withSize) {
  if (window->isMinimized() || window->isMaximized() || window->isFullScreen()) return;
  const double twips = TwipsPerPixel(window);
  const auto toTwips = [twips](int value) { return static_cast<long long>(std::lround(value * twips)); };
  store.WriteInt(section, "Top", toTwips(window->y()));
  store.WriteInt(section, "Left", toTwips(window->x()));
  if (withSize) {
    store.WriteInt(section, "Height", toTwips(window->height()));
    store.WriteInt(section, "Width", toTwips(window->width()));
  }
}

}  // namespace brevin
