#include "menubar/graph_area.h"

#include <algorithm>
#include <cstddef>

#include "menubar/router_menu_bar_graph_layout.h"

namespace pulsewell {

namespace {

using RouterMenuBarGraphLayout::minimumOffset;
using RouterMenuBarGraphLayout::sampleLimit;

// How far a sample reaches from the mid line; any positive sample stays visible.
double offset(double value, double peak, double amplitude) {
  if (!(value > 0)) return 0;
  return std::max(minimumOffset, amplitude * RouterMenuBarGraphLayout::fillFraction(value, peak));
}

}  // namespace

std::vector<GraphPoint> graphArea(const std::vector<double>& samples, double peak,
                                  const GraphRect& rect, double midLineY, GraphAreaEdge edge) {
  if (samples.size() < 2 || !(peak > 0)) return {};
  const bool high = edge == GraphAreaEdge::high;
  const double direction = high ? 1.0 : -1.0;
  const double amplitude = high ? rect.top() - midLineY : midLineY - rect.y;

  const std::size_t count = std::min(sampleLimit, samples.size());
  const std::size_t first = samples.size() - count;
  const double step = rect.width / static_cast<double>(sampleLimit - 1);
  const double start = rect.right() - step * static_cast<double>(count - 1);

  std::vector<GraphPoint> polygon;
  polygon.reserve(count + 2);
  polygon.push_back({start, midLineY});
  for (std::size_t i = 0; i < count; ++i) {
    const double x = start + step * static_cast<double>(i);
    polygon.push_back({x, midLineY + direction * offset(samples[first + i], peak, amplitude)});
  }
  polygon.push_back({rect.right(), midLineY});
  return polygon;
}

}  // namespace pulsewell
