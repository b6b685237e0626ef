// A narrow strip drawing the 32 KB image top to bottom as coloured bands by
// region kind, with a marker over the part of the listing in view. Clicking or
// dragging asks to go to that address; tool-tips name the region under the mouse.
#pragma once

#include <QWidget>

#include "brevin/analysis.h"

namespace brevin {

class ImageMap : public QWidget {
  Q_OBJECT

 public:
  explicit ImageMap(QWidget* parent = nullptr);

  void SetAnalysis(AnalysisPtr analysis);
  // The hub addresses of the first and last listing lines in view.
  void SetViewRange(std::int32_t first, std::int32_t last);
  std::int32_t ViewFirst() const { return viewFirst_; }
  std::int32_t ViewLast() const { return viewLast_; }

  // The address drawn at y, and the y of an address.
  std::int32_t AddressAt(int y) const;
  int YOf(std::int32_t address) const;
  static QColor KindColour(RegionKind kind);

  QSize sizeHint() const override { return {28, 200}; }
  QSize minimumSizeHint() const override { return {16, 64}; }

 signals:
  void addressChosen(std::int32_t address);   // a click
  void addressDragged(std::int32_t address);  // the mouse moved with the button held

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  AnalysisPtr analysis_;
  std::int32_t viewFirst_ = -1, viewLast_ = -1;
};

}  // namespace brevin
