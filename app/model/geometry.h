#pragma once
// Sizes and rectangles in points, as the toolkit measures them.

namespace berth::app {

struct Size {
  double width = 0.0;
  double height = 0.0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  double x = 0.0;
  double y = 0.0;
  double width = 0.0;
  double height = 0.0;
  bool operator==(const Rect&) const = default;
};

}  // namespace berth::app
