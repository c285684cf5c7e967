#pragma once

#include <vector>

namespace pulsewell {

// The input of the menu-bar graph. Absent altogether when the graph is switched off.
struct RouterGraphData {
  std::vector<double> down;  // bytes per second, oldest first
  std::vector<double> up;
  double downPeak = 1;  // the rate that fills the lower half completely
  double upPeak = 1;    // the rate that fills the upper half completely
  bool behind = false;  // true: faintly behind the text; false: in a strip beside it

  bool operator==(const RouterGraphData&) const = default;
};

}  // namespace pulsewell
