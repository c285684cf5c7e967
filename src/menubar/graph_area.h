#pragma once

#include <vector>

#include "menubar/graph_geometry.h"

namespace pulsewell {

// The edge of the graph rectangle an area grows toward from the mid line.
enum class GraphAreaEdge {
  low,   // toward rect.y
  high,  // toward rect.top()
};

// One direction's history as a closed polygon on the mid line, for the menu-bar graph and the
// popover alike so the two agree. The newest 60 samples are used: 60 span the whole width,
// fewer end at the right edge. A sample at the peak (or above) reaches the edge on the
// logarithmic scale of `RouterMenuBarGraphLayout::fillFraction`; any positive sample reaches
// at least 1.5. Empty with fewer than two samples or without a positive peak.
std::vector<GraphPoint> graphArea(const std::vector<double>& samples, double peak,
                                  const GraphRect& rect, double midLineY, GraphAreaEdge edge);

}  // namespace pulsewell
