// Keeping the windows on the screen: a restored or design-sized window is
// made to fit the screen's available area (without panels and docks), frame
// included, whatever the scale factor. Also the placement of the find dialog
// and the debug window in the settings store, in twips (1/1440 inch) as for
// the main window.
#pragma once

#include <QMargins>
#include <QRect>
#include <QString>

class QWidget;

namespace brevin {

class SettingsStore;

// wanted: the frame's top-left corner and the client size, as QWidget::move
// and resize take them; frame: the window frame around the client area.
// Returns the same kind of rectangle, no larger than the area and inside it.
QRect FitIntoArea(const QRect& wanted, const QRect& area, const QMargins& frame);

// Moves and resizes the window to wanted, fitted into the available area of
// the screen that holds most of it (the primary screen when none does).
void PlaceWindow(QWidget& window, const QRect& wanted);

// The design placement: the size, fitted, centred on the primary screen.
void CentreWindow(QWidget& window, const QSize& size);

// The stored unit, twips (1/1440 inch, 15 to a pixel at 96 dots per inch), in
// one logical pixel of the screen the widget is on: the device pixels it covers
// count, so the stored size does not depend on the scale factor.
double StoredUnitsPerPixel(const QWidget* widget);

// Places the window from Top and Left (and Height and Width when withSize) of the
// section. An absent key centres the window on the primary screen at its current
// (design) size; the place is fitted into the screen's available area.
void RestorePlacement(QWidget* window, const SettingsStore& store, const QString& section, bool withSize);

// Writes Top and Left (and Height and Width) when the window is in its normal
// state; a minimised or maximised window leaves the stored placement alone.
void SavePlacement(const QWidget* window, SettingsStore& store, const QString& section, bool withSize);

}  // namespace brevin
