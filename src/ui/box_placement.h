#pragma once
// Where a box goes so that it can be seen whole: the rule apart from any window.
namespace quilbo {

struct ScreenRect {
  int left, top, right, bottom;
};

struct ScreenPoint {
  int x, y;
};

// The top-left corner for a box of `width` x `height` that wants to stand at
// `wanted`: `wanted` itself when the box lies inside `area` there, otherwise
// moved just enough to lie inside it. A box larger than the area keeps its
// top-left corner inside (its title bar stays reachable).
ScreenPoint FitIntoArea(ScreenPoint wanted, int width, int height, ScreenRect area);

}  // namespace quilbo
