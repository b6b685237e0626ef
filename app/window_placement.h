// The placement of the find dialog and the debug window in the settings store.
// The store keeps window coordinates in twips (1/1440 inch), as for the main window.
#pragma once

#include <QString>

class QWidget;

namespace brevin {

class SettingsStore;

// Twips in one pixel of the screen the widget is on (15 at 96 dots per inch).
double TwipsPerPixel(const QWidget* widget);

// Places the window from Top and Left (and Height and Width when withSize) of the
// section. An absent key centres the window on its screen at its current (design)
// size; a place that is on no attached screen is not used either.
void RestorePlacement(QWidget* window, const SettingsStore& store, const QString& section, bool withSize);

// Writes Top and Left (and Height and Width) when the window is in its normal
// state; a minimised or maximised window leaves the stored placement alone.
void SavePlacement(const QWidget* window, SettingsStore& store, const QString& section, bool withSize);

}  // namespace brevin
