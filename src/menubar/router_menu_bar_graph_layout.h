#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "menubar/graph_geometry.h"
#include "menubar/router_graph_data.h"

namespace pulsewell {

// Which of the two fonts of the menu-bar image a piece of a text line uses.
enum class LineFont { value, unit };

struct LineRun {
  std::string text;
  LineFont font = LineFont::value;
  bool operator==(const LineRun&) const = default;
};

// The measured size of one styled text line, in points.
struct LineSize {
  double width = 0;
  double height = 0;
};

// The two-colour history areas and the mid line inside one rectangle.
struct RouterGraphAreas {
  GraphRect rect;
  double alpha = 1;
  double midLineY = 0;
  // Closed polygons, empty when the direction draws no area.
  std::vector<GraphPoint> downArea;  // below the mid line
  std::vector<GraphPoint> upArea;    // above the mid line
  GraphRect midLine;
  double midLineAlpha = 0.35;
};

// Every position and size of the menu-bar image, derived from the measured text lines.
struct RouterMenuBarImageLayout {
  double textWidth = 0;  // whole points
  double imageWidth = 0;
  double height = 0;
  std::optional<RouterGraphAreas> graph;
  GraphPoint upTextOrigin;  // bottom-left corner of the upload line
  GraphPoint downTextOrigin;
};

// The geometry of the menu-bar image, free of any drawing system, so that the painter only
// measures text and fills what this computes.
namespace RouterMenuBarGraphLayout {

inline constexpr std::string_view upArrow = "↑";
inline constexpr std::string_view downArrow = "↓";
// The text block is never narrower than these, each drawn as a line with the down arrow,
// so it keeps one width while the numbers change.
inline constexpr std::array<std::string_view, 2> referenceTexts{"888 MB/s", "888 Mbps"};

inline constexpr std::size_t sampleLimit = 60;
inline constexpr double stripWidth = 30;
inline constexpr double stripGap = 4;
inline constexpr double behindAlpha = 0.55;
inline constexpr double minimumOffset = 1.5;

// One text line as runs: the number in the value font, then " unit" and " arrow" in the
// unit font. Only the first space splits; a text without one is all value font.
std::vector<LineRun> line(std::string_view text, std::string_view arrow);

// How much of a half a sample fills, 0 to 1, on the logarithmic scale of the graphs
// (log10 of 1 to 1000, over 3): a thousandth of the peak still shows a tenth, a tenth of
// the peak about two thirds. 0 for samples at or below 0.
double fillFraction(double value, double peak);

// The areas of both directions and the mid line inside `rect`, drawn at `alpha`.
RouterGraphAreas areas(const RouterGraphData& graph, const GraphRect& rect, double alpha);

// The whole image: `referenceWidth` is the wider of the two reference lines.
RouterMenuBarImageLayout image(LineSize up, LineSize down, double referenceWidth,
                               const std::optional<RouterGraphData>& graph, double height);

}  // namespace RouterMenuBarGraphLayout

}  // namespace pulsewell
