#include "menubar/router_menu_bar_graph_layout.h"

#include <algorithm>
#include <cmath>

#include "menubar/graph_area.h"

namespace pulsewell::RouterMenuBarGraphLayout {

double fillFraction(double value, double peak) {
  if (!(value > 0)) return 0;  // also NaN
  const double ratio = value >= peak ? 1.0 : value / peak;
  return std::log10(ratio * 999 + 1) / 3;
}

std::vector<LineRun> line(std::string_view text, std::string_view arrow) {
  std::vector<std::string_view> pieces;
  std::string_view rest = text;
  const auto start = rest.find_first_not_of(' ');
  if (start != std::string_view::npos) {
    rest.remove_prefix(start);
    const auto space = rest.find(' ');
    pieces.push_back(rest.substr(0, space));
    if (space != std::string_view::npos && space + 1 < rest.size()) {
      pieces.push_back(rest.substr(space + 1));
    }
  }

  std::vector<LineRun> runs;
  runs.push_back({std::string(pieces.empty() ? text : pieces[0]), LineFont::value});
  if (pieces.size() == 2) runs.push_back({" " + std::string(pieces[1]), LineFont::unit});
  runs.push_back({" " + std::string(arrow), LineFont::unit});
  return runs;
}

RouterGraphAreas areas(const RouterGraphData& graph, const GraphRect& rect, double alpha) {
  RouterGraphAreas result;
  result.rect = rect;
  result.alpha = alpha;
  result.midLineY = std::round(rect.y + rect.height / 2);  // halves away from zero
  result.downArea =
      graphArea(graph.down, graph.downPeak, rect, result.midLineY, GraphAreaEdge::low);
  result.upArea = graphArea(graph.up, graph.upPeak, rect, result.midLineY, GraphAreaEdge::high);
  result.midLine = {rect.x, result.midLineY - 0.25, rect.width, 0.5};
  return result;
}

RouterMenuBarImageLayout image(LineSize up, LineSize down, double referenceWidth,
                               const std::optional<RouterGraphData>& graph, double height) {
  RouterMenuBarImageLayout layout;
  layout.height = height;
  layout.textWidth = std::ceil(std::max({referenceWidth, up.width, down.width}));
  layout.imageWidth = layout.textWidth;

  if (graph) {
    if (graph->behind) {
      layout.graph = areas(*graph, {0, 1, layout.imageWidth, height - 2}, behindAlpha);
    } else {
      const double graphX = layout.textWidth + stripGap;
      layout.imageWidth = graphX + stripWidth;
      layout.graph = areas(*graph, {graphX, 2, stripWidth, height - 4}, 1.0);
    }
  }

  // Upload in the upper half, download in the lower, both right-aligned to the text width;
  // their boxes overlap by 2 points.
  layout.upTextOrigin = {layout.textWidth - up.width, height / 2 - 1};
  layout.downTextOrigin = {layout.textWidth - down.width, height / 2 - down.height + 1};
  return layout;
}

}  // namespace pulsewell::RouterMenuBarGraphLayout
