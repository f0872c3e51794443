#include "layout/dpi_scale.h"

#include <cstdint>

namespace quilbo {
namespace {

int MulDivRounded(int value, int numerator, int denominator) {
  const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
  const std::int64_t half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : -((-product + half) / denominator));
}

}  // namespace

int ScaleToDpi(int value, int dpi) { return MulDivRounded(value, dpi, kDesignDpi); }

Bounds ScaleToDpi(const Bounds& bounds, int dpi) {
  return Bounds{ScaleToDpi(bounds.left, dpi), ScaleToDpi(bounds.top, dpi),
                ScaleToDpi(bounds.width, dpi), ScaleToDpi(bounds.height, dpi)};
}

int FontHeightForDpi(int points, int dpi) { return -MulDivRounded(points, dpi, 72); }

Extent ScaledOuterSize(Extent designOuter, Extent designFrame, Extent frame, int dpi) {
  return Extent{ScaleToDpi(designOuter.width - designFrame.width, dpi) + frame.width,
                ScaleToDpi(designOuter.height - designFrame.height, dpi) + frame.height};
}

std::size_t PickPicture(std::initializer_list<int> widths, int designWidth, int dpi) {
  const int wanted = ScaleToDpi(designWidth, dpi);
  std::size_t picked = 0, index = 0;
  for (const int width : widths) {
    if (width <= wanted) picked = index;
    ++index;
  }
  return picked;
}

}  // namespace quilbo
