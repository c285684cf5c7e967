#pragma once

#include <QFont>
#include <QImage>
#include <optional>
#include <string_view>

#include "menubar/router_graph_data.h"

// Paints the menu-bar image and the compact panel icon. The geometry comes from
// RouterMenuBarGraphLayout; this only measures text and fills what it computes.
namespace pulsewell::RouterMenuBarGraph {

// The colour of the bar the entry stands on, where the host tells it; otherwise the label
// colour follows the application's palette.
enum class BarTone { followPalette, dark, light };

// The rates are drawn in this font: the system font at 10.5 points, semibold, digits of one
// width. Created once; needs the application object.
const QFont& valueFont();
// Units and arrows: the system font at 8.5 points, regular.
const QFont& unitFont();

// Two right-aligned lines, upload above download (texts as Format::rate makes them), with
// the graph beside or behind, or none. Sizes are in points, 1 point = 1 device-independent
// pixel; the image carries `devicePixelRatio`. A height below one point, or a size no panel
// could show (over 16384 pixels a side), gives a null image. `muted` draws the text faintly,
// for every state but a live interface.
QImage image(std::string_view down, std::string_view up,
             const std::optional<RouterGraphData>& graph, double heightPoints,
             double devicePixelRatio, bool muted = false, BarTone tone = BarTone::followPalette);

// The entry on panels that show only a square, `sizePx` device-independent pixels wide:
// the upload number over the download number ("80K" over "1.2M") in the graph's colours,
// the graph faintly behind them when one is given. `muted` draws both in a faint label
// colour without the graph.
QImage numbersSquare(std::string_view up, std::string_view down,
                     const std::optional<RouterGraphData>& graph, int sizePx,
                     double devicePixelRatio, bool muted, BarTone tone = BarTone::followPalette);

// The router symbol: the program's icon, and the small icon beside a panel's label. `lit`
// colours its lights in the traffic colours; otherwise they take the label colour.
QImage routerSymbol(int sizePx, double devicePixelRatio, bool lit,
                    BarTone tone = BarTone::followPalette);

}  // namespace pulsewell::RouterMenuBarGraph
