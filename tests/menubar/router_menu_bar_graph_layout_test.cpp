#include "menubar/router_menu_bar_graph_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

#include "tests/support/quoted_text.h"

namespace pulsewell {
namespace {

namespace Layout = RouterMenuBarGraphLayout;

// ---- text runs ---------------------------------------------------------------------------

struct LineCase {
  std::string text;
  std::vector<LineRun> expected;
};

// The case as its test name shows it.
void PrintTo(const LineCase& c, std::ostream* out) {
  test::printQuoted(c.text, out);
}

class LineTest : public testing::TestWithParam<LineCase> {};

TEST_P(LineTest, SplitsAtTheFirstSpace) {
  EXPECT_EQ(Layout::line(GetParam().text, "\u2193"), GetParam().expected);
}

const LineRun arrow{" \u2193", LineFont::unit};

INSTANTIATE_TEST_SUITE_P(
    Texts, LineTest,
    testing::Values(
        LineCase{"1.2 MB/s", {{"1.2", LineFont::value}, {" MB/s", LineFont::unit}, arrow}},
        LineCase{"\u2014", {{"\u2014", LineFont::value}, arrow}},
        LineCase{"", {{"", LineFont::value}, arrow}},
        LineCase{"   ", {{"   ", LineFont::value}, arrow}},
        LineCase{" 1.2 MB/s", {{"1.2", LineFont::value}, {" MB/s", LineFont::unit}, arrow}},
        LineCase{"1.2 ", {{"1.2", LineFont::value}, arrow}},
        LineCase{"1.2  MB/s", {{"1.2", LineFont::value}, {"  MB/s", LineFont::unit}, arrow}},
        LineCase{"a b c", {{"a", LineFont::value}, {" b c", LineFont::unit}, arrow}}));

// ---- image layout ------------------------------------------------------------------------

constexpr double height = 22;
const LineSize upLine{40, 13};
const LineSize downLine{44.5, 12};

RouterGraphData emptyGraph(bool behind) {
  return RouterGraphData{{}, {}, 1, 1, behind};
}

TEST(ImageLayoutTest, WithoutAGraphTheImageIsTheTextBlock) {
  const auto layout = Layout::image(upLine, downLine, 49.2, std::nullopt, height);
  EXPECT_EQ(layout.textWidth, 50);
  EXPECT_EQ(layout.imageWidth, 50);
  EXPECT_EQ(layout.height, 22);
  EXPECT_FALSE(layout.graph);
}

TEST(ImageLayoutTest, TheTextBlockGrowsWithAWiderLine) {
  EXPECT_EQ(Layout::image({60.3, 13}, downLine, 49.2, std::nullopt, height).textWidth, 61);
  EXPECT_EQ(Layout::image(upLine, {70, 12}, 49.2, std::nullopt, height).textWidth, 70);
}

TEST(ImageLayoutTest, BesideAddsAStripToTheRight) {
  const auto layout = Layout::image(upLine, downLine, 50, emptyGraph(false), height);
  EXPECT_EQ(layout.textWidth, 50);
  EXPECT_EQ(layout.imageWidth, 84);
  ASSERT_TRUE(layout.graph);
  EXPECT_EQ(layout.graph->rect, (GraphRect{54, 2, 30, 18}));
  EXPECT_EQ(layout.graph->rect.right(), 84);
  EXPECT_EQ(layout.graph->rect.top(), 20);
  EXPECT_EQ(layout.graph->midLineY, 11);
  EXPECT_EQ(layout.graph->alpha, 1.0);
}

TEST(ImageLayoutTest, BehindSpansTheTextBlockFaintly) {
  const auto layout = Layout::image(upLine, downLine, 50, emptyGraph(true), height);
  EXPECT_EQ(layout.imageWidth, 50);
  ASSERT_TRUE(layout.graph);
  EXPECT_EQ(layout.graph->rect, (GraphRect{0, 1, 50, 20}));
  EXPECT_EQ(layout.graph->midLineY, 11);
  EXPECT_EQ(layout.graph->alpha, 0.55);
}

TEST(ImageLayoutTest, TheMidLineIsDrawnEvenWithoutSamples) {
  const auto layout = Layout::image(upLine, downLine, 50, emptyGraph(false), height);
  ASSERT_TRUE(layout.graph);
  EXPECT_TRUE(layout.graph->downArea.empty());
  EXPECT_TRUE(layout.graph->upArea.empty());
  EXPECT_EQ(layout.graph->midLine, (GraphRect{54, 10.75, 30, 0.5}));
  EXPECT_EQ(layout.graph->midLineAlpha, 0.35);
}

TEST(ImageLayoutTest, TextLinesAreRightAlignedAndOverlapByTwoPoints) {
  const auto layout = Layout::image(upLine, downLine, 50, std::nullopt, height);
  EXPECT_EQ(layout.upTextOrigin, (GraphPoint{10, 10}));
  EXPECT_EQ(layout.downTextOrigin, (GraphPoint{5.5, 0}));
  // The download box reaches 2 points above the upload box's bottom edge.
  EXPECT_EQ(layout.downTextOrigin.y + downLine.height - layout.upTextOrigin.y, 2);
}

struct MidLineCase {
  double height;
  bool behind;
  double midLineY;
};

// The case as its test name shows it.
void PrintTo(const MidLineCase& c, std::ostream* out) {
  *out << "height " << c.height << (c.behind ? ", behind" : ", beside");
}

class MidLineTest : public testing::TestWithParam<MidLineCase> {};

TEST_P(MidLineTest, RoundsHalvesAwayFromZero) {
  const auto layout =
      Layout::image(upLine, downLine, 50, emptyGraph(GetParam().behind), GetParam().height);
  ASSERT_TRUE(layout.graph);
  EXPECT_EQ(layout.graph->midLineY, GetParam().midLineY);
}

INSTANTIATE_TEST_SUITE_P(Heights, MidLineTest,
                         testing::Values(MidLineCase{22, false, 11}, MidLineCase{22, true, 11},
                                         MidLineCase{21, false, 11},  // 10.5
                                         MidLineCase{23, true, 12},   // 11.5
                                         MidLineCase{24, false, 12}));

// ---- areas -------------------------------------------------------------------------------

const GraphRect strip{54, 2, 30, 18};
constexpr double mid = 11;
constexpr double step = 30.0 / 59;

RouterGraphAreas areasOf(std::vector<double> down, std::vector<double> up, double peak = 100) {
  return Layout::areas(RouterGraphData{std::move(down), std::move(up), peak, peak, false}, strip,
                       1.0);
}

TEST(AreasTest, TooFewSamplesOrNoPeakDrawNoArea) {
  EXPECT_TRUE(areasOf({}, {}).downArea.empty());
  EXPECT_TRUE(areasOf({50}, {50}).downArea.empty());
  EXPECT_TRUE(areasOf({50}, {50}).upArea.empty());
  EXPECT_TRUE(areasOf({50, 50}, {50, 50}, 0).downArea.empty());
  EXPECT_TRUE(areasOf({50, 50}, {50, 50}, -1).upArea.empty());
  EXPECT_TRUE(
      areasOf({50, 50}, {50, 50}, std::numeric_limits<double>::quiet_NaN()).downArea.empty());
  // Each direction on its own.
  const auto onlyDown = areasOf({50, 50}, {50});
  EXPECT_FALSE(onlyDown.downArea.empty());
  EXPECT_TRUE(onlyDown.upArea.empty());
}

TEST(AreasTest, ThePolygonStartsAndEndsOnTheMidLine) {
  const auto areas = areasOf({10, 20, 30}, {10, 20, 30});
  ASSERT_EQ(areas.downArea.size(), 5U);
  EXPECT_EQ(areas.downArea.front(), (GraphPoint{84 - 2 * step, mid}));
  EXPECT_EQ(areas.downArea.back(), (GraphPoint{84, mid}));
  EXPECT_EQ(areas.upArea.front(), (GraphPoint{84 - 2 * step, mid}));
  EXPECT_EQ(areas.upArea.back(), (GraphPoint{84, mid}));
}

TEST(AreasTest, FewerSamplesEndAtTheRightEdge) {
  const auto areas = areasOf({10, 20}, {});
  ASSERT_EQ(areas.downArea.size(), 4U);
  EXPECT_DOUBLE_EQ(areas.downArea[1].x, 84 - step);
  EXPECT_DOUBLE_EQ(areas.downArea[2].x, 84);
}

TEST(AreasTest, SixtySamplesSpanTheWholeStrip) {
  const auto areas = areasOf(std::vector<double>(60, 50), std::vector<double>(60, 50));
  ASSERT_EQ(areas.downArea.size(), 62U);
  EXPECT_DOUBLE_EQ(areas.downArea[1].x, 54);
  EXPECT_DOUBLE_EQ(areas.downArea[60].x, 84);
  EXPECT_DOUBLE_EQ(areas.upArea[1].x, 54);
}

TEST(AreasTest, OnlyTheNewestSixtyAreDrawn) {
  std::vector<double> history(75);
  std::iota(history.begin(), history.end(), 1.0);  // 1 … 75, oldest first
  history[15] = 100;                               // the oldest of the newest 60
  const auto areas = areasOf(history, {}, 100);
  ASSERT_EQ(areas.downArea.size(), 62U);
  EXPECT_DOUBLE_EQ(areas.downArea[1].x, 54);
  EXPECT_DOUBLE_EQ(areas.downArea[1].y, 2);  // the peak sample reaches the strip's bottom
  EXPECT_LT(areas.downArea[60].y, mid);      // the newest (75) at the right edge
  EXPECT_DOUBLE_EQ(areas.downArea[60].x, 84);
}

TEST(AreasTest, AtOrOverThePeakReachesTheEdge) {
  const auto areas = areasOf({100, 250}, {100, 1e300});
  EXPECT_EQ(areas.downArea[1].y, 2);
  EXPECT_EQ(areas.downArea[2].y, 2);
  EXPECT_EQ(areas.upArea[1].y, 20);
  EXPECT_EQ(areas.upArea[2].y, 20);
}

TEST(AreasTest, DownGoesBelowAndUpAboveTheMidLine) {
  const auto areas = areasOf({10, 10}, {10, 10});
  const double offset = 9 * std::log10(0.1 * 999 + 1) / 3;  // a tenth: about two thirds
  EXPECT_DOUBLE_EQ(areas.downArea[1].y, mid - offset);
  EXPECT_DOUBLE_EQ(areas.upArea[1].y, mid + offset);
  EXPECT_NEAR(offset / 9, 0.668, 0.001);
}

TEST(AreasTest, AnyPositiveSampleShowsAtLeastOneAndAHalfPoints) {
  const auto areas = areasOf({1e-9, 0.01}, {1e-9, 0.01});
  EXPECT_DOUBLE_EQ(areas.downArea[1].y, mid - 1.5);
  EXPECT_DOUBLE_EQ(areas.downArea[2].y, mid - 1.5);
  EXPECT_DOUBLE_EQ(areas.upArea[1].y, mid + 1.5);
}

TEST(AreasTest, ZeroNegativeAndNaNSamplesLieOnTheMidLine) {
  const auto areas = areasOf({0, -5, std::numeric_limits<double>::quiet_NaN()}, {0, -1});
  EXPECT_EQ(areas.downArea[1].y, mid);
  EXPECT_EQ(areas.downArea[2].y, mid);
  EXPECT_EQ(areas.downArea[3].y, mid);
  EXPECT_EQ(areas.upArea[1].y, mid);
}

TEST(AreasTest, AnInfinitePeakStillDrawsFiniteVertices) {
  const double infinity = std::numeric_limits<double>::infinity();
  const auto areas = areasOf({infinity, 5}, {infinity, 5}, infinity);
  for (const auto& p : areas.downArea)
    EXPECT_TRUE(std::isfinite(p.y));
  EXPECT_EQ(areas.downArea[1].y, 2);
  EXPECT_EQ(areas.downArea[2].y, mid - 1.5);
}

TEST(AreasTest, WorksInAnySquare) {
  const auto areas =
      Layout::areas(RouterGraphData{{100, 100}, {100, 100}, 100, 100, false}, {1, 1, 14, 14}, 1);
  EXPECT_EQ(areas.midLineY, 8);
  EXPECT_EQ(areas.downArea[1].y, 1);
  EXPECT_EQ(areas.upArea[1].y, 15);
  EXPECT_EQ(areas.downArea.back(), (GraphPoint{15, 8}));
}

TEST(FillFractionTest, IsTheLogarithmicShareOfTheHalf) {
  EXPECT_EQ(Layout::fillFraction(0, 100), 0);
  EXPECT_EQ(Layout::fillFraction(-1, 100), 0);
  EXPECT_EQ(Layout::fillFraction(std::numeric_limits<double>::quiet_NaN(), 100), 0);
  EXPECT_EQ(Layout::fillFraction(100, 100), 1);
  EXPECT_EQ(Layout::fillFraction(500, 100), 1);
  EXPECT_NEAR(Layout::fillFraction(0.1, 100), 0.1, 0.001);  // a thousandth: about a tenth
  EXPECT_NEAR(Layout::fillFraction(10, 100), 0.668, 0.001);
}

TEST(RouterGraphDataTest, ComparesAllFields) {
  const RouterGraphData base{{1, 2}, {3}, 10, 20, false};
  EXPECT_EQ(base, (RouterGraphData{{1, 2}, {3}, 10, 20, false}));
  EXPECT_NE(base, (RouterGraphData{{1, 3}, {3}, 10, 20, false}));
  EXPECT_NE(base, (RouterGraphData{{1, 2}, {}, 10, 20, false}));
  EXPECT_NE(base, (RouterGraphData{{1, 2}, {3}, 11, 20, false}));
  EXPECT_NE(base, (RouterGraphData{{1, 2}, {3}, 10, 21, false}));
  EXPECT_NE(base, (RouterGraphData{{1, 2}, {3}, 10, 20, true}));
}

}  // namespace
}  // namespace pulsewell
