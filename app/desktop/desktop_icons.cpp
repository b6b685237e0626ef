#include "desktop/desktop_icons.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace brevin {

namespace {

// Sizes drawn ahead, so the icon is sharp at 16 px on any scale factor.
constexpr int kSizes[] = {16, 20, 24, 32, 48, 64, 128, 256};

QImage Render(QSvgRenderer& renderer, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  return image;
}

// Grey and faint: a disabled button must not look like one that works.
QImage Dimmed(const QImage& source) {
  QImage image = source.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int grey = (qGray(line[x]) + 2 * 200) / 3;
      line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 35 / 100);
    }
  }
  return image;
}

QIcon IconFromSvg(const QString& path, int largest) {
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  QIcon icon;
  for (int size : kSizes) {
    if (size > largest) break;
    const QImage image = Render(renderer, size);
    icon.addPixmap(QPixmap::fromImage(image), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(Dimmed(image)), QIcon::Disabled);
  }
  return icon;
}

}  // namespace

QIcon ApplicationIcon() { return IconFromSvg(":/brevin/brevin.svg", 256); }

QString ToolbarIconPath(const QString& toolTip) { return ":/brevin/toolbar/" + toolTip.toLower() + ".svg"; }

QIcon ToolbarIcon(const QString& toolTip) {
  const QString path = ToolbarIconPath(toolTip);
  return QFile::exists(path) ? IconFromSvg(path, 64) : QIcon();
}

}  // namespace brevin
