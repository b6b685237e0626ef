// The listing's zoom steps: Ctrl++ and Ctrl+- step the listing font through
// common sizes, Ctrl+0 goes back to the design size (ListingView has the keys). The zoomed
// size is simply the listing font's size, so the settings store keeps it.
#pragma once

namespace brevin {

inline constexpr double kDesignListingSize = 8.25;

// The next size up (direction > 0) or down (direction < 0) from current;
// current itself at either end of the range.
double NextZoomSize(double current, int direction);

}  // namespace brevin
