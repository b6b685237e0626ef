#include "listing/listing_zoom.h"

#include <algorithm>
#include <iterator>

namespace brevin {

namespace {

constexpr double kSizes[] = {6, 7, 8, 8.25, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 36, 48, 72};

}  // namespace

double NextZoomSize(double current, int direction) {
  if (direction > 0) {
    const auto* larger = std::upper_bound(std::begin(kSizes), std::end(kSizes), current + 1e-6);
    return larger == std::end(kSizes) ? current : *larger;
  }
  const auto* notSmaller = std::lower_bound(std::begin(kSizes), std::end(kSizes), current - 1e-6);
  return notSmaller == std::begin(kSizes) ? current : *std::prev(notSmaller);
}

}  // namespace brevin
