// Keeping the main window on the screen: a restored or design-sized window is
// made to fit the screen's available area (without panels and docks), frame
// included, whatever the scale factor.
#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

namespace brevin {

// wanted: the frame's top-left corner and the client size, as QWidget::move
// and resize take them; frame: the window frame around the client area.
// Returns the same kind of rectangle, no larger than the area and inside it.
QRect FitIntoArea(const QRect& wanted, const QRect& area, const QMargins& frame);

// Moves and resizes the window to wanted, fitted into the available area of
// the screen that holds most of it (the primary screen when none does).
void PlaceWindow(QWidget& window, const QRect& wanted);

// The design placement: the size, fitted, centred on the primary screen.
void CentreWindow(QWidget& window, const QSize& size);

}  // namespace brevin
