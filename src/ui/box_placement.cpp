#include "ui/box_placement.h"

#include <algorithm>

namespace quilbo {
namespace {

int FitSpan(int wanted, int size, int low, int high) {
  return std::max(low, std::min(wanted, high - size));
}

}  // namespace

ScreenPoint FitIntoArea(ScreenPoint wanted, int width, int height, ScreenRect area) {
  return {FitSpan(wanted.x, width, area.left, area.right),
          FitSpan(wanted.y, height, area.top, area.bottom)};
}

}  // namespace quilbo
