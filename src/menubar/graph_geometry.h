#pragma once

namespace pulsewell {

// Geometry of the menu-bar image in points, origin at the bottom left, y growing upward.
struct GraphPoint {
  double x = 0;
  double y = 0;
  bool operator==(const GraphPoint&) const = default;
};

struct GraphRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  double right() const { return x + width; }
  double top() const { return y + height; }
  bool operator==(const GraphRect&) const = default;
};

}  // namespace pulsewell
