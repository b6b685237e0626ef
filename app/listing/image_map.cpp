#include "listing/image_map.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "brevin/hub_memory.h"

namespace brevin {

namespace {
QString Hex4(std::int64_t value) { return QString("$%1").arg(value, 4, 16, QChar('0')).toUpper(); }
}  // namespace

ImageMap::ImageMap(QWidget* parent) : QWidget(parent) {
  setObjectName("ImageMap");
  setAccessibleName("Image map");
  setMouseTracking(false);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

QColor ImageMap::KindColour(RegionKind kind) {
  switch (kind) {
    case RegionKind::Header: return QColor(0x40, 0x40, 0x40);
    case RegionKind::ObjectTable: return QColor(0xE0, 0xA0, 0x20);
    case RegionKind::Spin: return QColor(0x30, 0x70, 0xD0);
    case RegionKind::Asm: return QColor(0xC0, 0x30, 0x30);
    case RegionKind::Data: return QColor(0x40, 0xA0, 0x40);
    case RegionKind::Variables: return QColor(0x90, 0x50, 0xC0);
    case RegionKind::Stack: return QColor(0x30, 0xB0, 0xB0);
    case RegionKind::Free: return QColor(0xE8, 0xE8, 0xE8);
  }
  return Qt::white;
}

void ImageMap::SetAnalysis(AnalysisPtr analysis) {
  analysis_ = std::move(analysis);
  viewFirst_ = viewLast_ = -1;
  update();
}

void ImageMap::SetViewRange(std::int32_t first, std::int32_t last) {
  if (first == viewFirst_ && last == viewLast_) return;
  viewFirst_ = first;
  viewLast_ = last;
  update();
}

std::int32_t ImageMap::AddressAt(int y) const {
  const int h = std::max(1, height());
  const std::int64_t a = static_cast<std::int64_t>(std::clamp(y, 0, h - 1)) * kImageSize / h;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(a, 0, kLastAddress));
}

int ImageMap::YOf(std::int32_t address) const {
  return static_cast<int>(static_cast<std::int64_t>(address) * height() / kImageSize);
}

void ImageMap::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), KindColour(RegionKind::Free));
  if (!analysis_) return;
  for (const Region& r : analysis_->regions) {
    const int top = YOf(r.start);
    const int bottom = std::max(top + 1, YOf(r.end));  // even a one-byte region shows
    p.fillRect(QRect(0, top, width(), bottom - top), KindColour(r.kind));
  }
  if (viewFirst_ >= 0) {
    const int top = YOf(viewFirst_);
    const int bottom = std::max(top + 3, YOf(viewLast_ + 1));
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawRect(QRect(1, top, width() - 2, bottom - top));
  }
}

void ImageMap::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && analysis_) emit addressChosen(AddressAt(event->position().toPoint().y()));
}

void ImageMap::mouseMoveEvent(QMouseEvent* event) {
  if ((event->buttons() & Qt::LeftButton) && analysis_) emit addressDragged(AddressAt(event->position().toPoint().y()));
}

bool ImageMap::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const Region* r = analysis_ ? analysis_->RegionAt(AddressAt(help->pos().y())) : nullptr;
    if (r == nullptr) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(),
                         QString("%1 (%2)\n%3 - %4")
                             .arg(QString::fromStdString(r->name), QString::fromUtf8(RegionKindName(r->kind).data()),
                                  Hex4(r->start), Hex4(r->end - 1)),
                         this);
    }
    return true;
  }
  return QWidget::event(event);
}

}  // namespace brevin
