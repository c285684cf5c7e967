#pragma once

#include <vector>

#include "menubar/graph_geometry.h"

namespace pulsewell {

// The popover's graph canvas: origin at the top left, y growing downward. Upload fills the
// upper half above the mid line, download the lower half below it.
struct PopoverGraphLayout {
  double midLineY = 0;  // half the height, not rounded
  // Closed polygons, empty when the direction draws no area. Upload is drawn first.
  std::vector<GraphPoint> upArea;
  std::vector<GraphPoint> downArea;
  GraphRect midLine;  // 0.5 high, centred on the mid line, across the whole width
};

// The areas of the newest 60 samples on the same logarithmic scale as the menu-bar graph:
// a sample at the peak (or above) reaches the edge, any positive sample shows at least 1.5.
// A direction needs two samples and a positive peak to draw an area.
PopoverGraphLayout popoverGraphLayout(const std::vector<double>& down,
                                      const std::vector<double>& up, double downPeak, double upPeak,
                                      double width, double height);

}  // namespace pulsewell
