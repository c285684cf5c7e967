#include "menubar/popover_graph_layout.h"

#include "menubar/graph_area.h"

namespace pulsewell {

constexpr double midLineThickness = 0.5;

PopoverGraphLayout popoverGraphLayout(const std::vector<double>& down,
                                      const std::vector<double>& up, double downPeak, double upPeak,
                                      double width, double height) {
  PopoverGraphLayout layout;
  layout.midLineY = height / 2;
  // y grows downward here, so upload grows toward the rectangle's low edge.
  const GraphRect rect{0, 0, width, height};
  layout.upArea = graphArea(up, upPeak, rect, layout.midLineY, GraphAreaEdge::low);
  layout.downArea = graphArea(down, downPeak, rect, layout.midLineY, GraphAreaEdge::high);
  layout.midLine = {0, layout.midLineY - midLineThickness / 2, width, midLineThickness};
  return layout;
}

}  // namespace pulsewell
