// Zooming the listing with the keyboard: Ctrl++ and Ctrl+- step the listing
// font through common sizes, Ctrl+0 goes back to the design size. The zoomed
// size is simply the listing font's size, so the settings store keeps it.
#pragma once

class QPlainTextEdit;
class QWidget;

namespace brevin {

inline constexpr double kDesignListingSize = 8.25;

// The next size up (direction > 0) or down (direction < 0) from current;
// current itself at either end of the range.
double NextZoomSize(double current, int direction);

// Adds the three zoom actions (object names "ZoomIn", "ZoomOut", "ZoomReset")
// to the window, acting on the listing's font.
void InstallListingZoom(QWidget& window, QPlainTextEdit& listing);

}  // namespace brevin
