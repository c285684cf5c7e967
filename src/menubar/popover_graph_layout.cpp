#include "menubar/popover_graph_layout.h"

#include <algorithm>
#include <cstddef>

#include "menubar/router_menu_bar_graph_layout.h"

namespace pulsewell {

namespace {

using RouterMenuBarGraphLayout::minimumOffset;
using RouterMenuBarGraphLayout::sampleLimit;
constexpr double midLineThickness = 0.5;

// The menu-bar graph's scale, so the two graphs agree; any positive sample stays visible.
double offset(double value, double peak, double amplitude) {
  if (!(value > 0)) return 0;
  return std::max(minimumOffset, amplitude * RouterMenuBarGraphLayout::fillFraction(value, peak));
}

// `direction` is -1 for upward (upload) and +1 for downward (download).
std::vector<GraphPoint> area(const std::vector<double>& samples, double peak, double width,
                             double midLineY, double amplitude, double direction) {
  if (samples.size() < 2 || !(peak > 0)) return {};
  const std::size_t count = std::min(sampleLimit, samples.size());
  const std::size_t first = samples.size() - count;
  const double step = width / static_cast<double>(sampleLimit - 1);
  const double left = width - step * static_cast<double>(count - 1);

  std::vector<GraphPoint> polygon;
  polygon.reserve(count + 2);
  polygon.push_back({left, midLineY});
  for (std::size_t i = 0; i < count; ++i) {
    const double x = left + step * static_cast<double>(i);
    polygon.push_back({x, midLineY + direction * offset(samples[first + i], peak, amplitude)});
  }
  polygon.push_back({width, midLineY});
  return polygon;
}

}  // namespace

PopoverGraphLayout popoverGraphLayout(const std::vector<double>& down,
                                      const std::vector<double>& up, double downPeak, double upPeak,
                                      double width, double height) {
  PopoverGraphLayout layout;
  layout.midLineY = height / 2;
  layout.upArea = area(up, upPeak, width, layout.midLineY, layout.midLineY, -1);
  layout.downArea = area(down, downPeak, width, layout.midLineY, height - layout.midLineY, 1);
  layout.midLine = {0, layout.midLineY - midLineThickness / 2, width, midLineThickness};
  return layout;
}

}  // namespace pulsewell
