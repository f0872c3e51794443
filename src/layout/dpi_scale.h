#pragma once
// The windows are laid out in pixels at 96 dots per inch; this arithmetic
// carries that layout to the DPI of the monitor a window is on. No <windows.h>.
#include <cstddef>
#include <initializer_list>

namespace quilbo {

inline constexpr int kDesignDpi = 96;

// value * dpi / 96 rounded to the nearest integer, halves away from zero, as
// MulDiv rounds: at 96 dpi every value stays exactly as laid out.
int ScaleToDpi(int value, int dpi);

struct Bounds {
  int left = 0, top = 0, width = 0, height = 0;
};
// Position and size scaled apart, so controls of one size stay of one size.
Bounds ScaleToDpi(const Bounds& bounds, int dpi);

// The height to ask of a font of `points` points at `dpi` (negative: the
// character height, without the internal leading): 8 points at 96 dpi is -11.
int FontHeightForDpi(int points, int dpi);

struct Extent {
  int width = 0, height = 0;
};
// The outer size at `dpi` of a window whose outer size at 96 dpi is
// `designOuter` around a frame (caption, menu bar and borders together) of
// `designFrame`: the client area scales with the DPI, the frame is what the
// system draws at that DPI (`frame`), which does not grow in proportion.
Extent ScaledOuterSize(Extent designOuter, Extent designFrame, Extent frame, int dpi);

// Of pictures `widths` wide (ascending), the index of the widest that is no
// wider than a `designWidth` picture at `dpi`; the first when none is.
std::size_t PickPicture(std::initializer_list<int> widths, int designWidth, int dpi);

}  // namespace quilbo
