#include "menubar/popover_graph_layout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace pulsewell {
namespace {

constexpr double width = 256;
constexpr double height = 100;
constexpr double step = width / 59;

std::vector<double> ramp(std::size_t count, double value = 10) {
  return std::vector<double>(count, value);
}

TEST(PopoverGraphLayout, MidLineIsHalfTheHeightUnrounded) {
  const auto layout = popoverGraphLayout({}, {}, 1, 1, width, 41);
  EXPECT_DOUBLE_EQ(layout.midLineY, 20.5);
  EXPECT_EQ(layout.midLine, (GraphRect{0, 20.25, width, 0.5}));
}

TEST(PopoverGraphLayout, EmptyHistoriesDrawOnlyTheMidLine) {
  const auto layout = popoverGraphLayout({}, {}, 1, 1, width, height);
  EXPECT_TRUE(layout.upArea.empty());
  EXPECT_TRUE(layout.downArea.empty());
  EXPECT_EQ(layout.midLine, (GraphRect{0, 49.75, width, 0.5}));
}

struct NoAreaCase {
  const char* name;
  std::vector<double> samples;
  double peak;
};

// The case as its test name shows it.
void PrintTo(const NoAreaCase& c, std::ostream* out) {
  *out << c.name;
}

class PopoverGraphNoArea : public ::testing::TestWithParam<NoAreaCase> {};

TEST_P(PopoverGraphNoArea, DrawsNothingForThatDirection) {
  const auto& c = GetParam();
  const auto upOnly = popoverGraphLayout(ramp(5), c.samples, 100, c.peak, width, height);
  EXPECT_TRUE(upOnly.upArea.empty());
  EXPECT_FALSE(upOnly.downArea.empty());
  const auto downOnly = popoverGraphLayout(c.samples, ramp(5), c.peak, 100, width, height);
  EXPECT_TRUE(downOnly.downArea.empty());
  EXPECT_FALSE(downOnly.upArea.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, PopoverGraphNoArea,
                         ::testing::Values(NoAreaCase{"none", {}, 100},
                                           NoAreaCase{"one", {50}, 100},
                                           NoAreaCase{"zeroPeak", {50, 60}, 0},
                                           NoAreaCase{"negativePeak", {50, 60}, -1},
                                           NoAreaCase{"nanPeak", {50, 60}, std::nan("")}),
                         [](const auto& param) { return param.param.name; });

TEST(PopoverGraphLayout, UploadRisesAboveAndDownloadFallsBelowTheMidLine) {
  const auto layout = popoverGraphLayout({100, 100}, {100, 100}, 100, 100, width, height);
  ASSERT_EQ(layout.upArea.size(), 4U);
  ASSERT_EQ(layout.downArea.size(), 4U);
  // A sample at the peak reaches the edge of its half.
  EXPECT_DOUBLE_EQ(layout.upArea[1].y, 0);
  EXPECT_DOUBLE_EQ(layout.downArea[1].y, height);
}

TEST(PopoverGraphLayout, PolygonRunsFromTheMidLineThroughTheSamplesBackToIt) {
  const auto layout = popoverGraphLayout({}, {0, 100, 0}, 1, 100, width, height);
  const std::vector<GraphPoint> expected{
      {width - 2 * step, 50}, {width - 2 * step, 50}, {width - step, 0}, {width, 50}, {width, 50},
  };
  ASSERT_EQ(layout.upArea.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(layout.upArea[i].x, expected[i].x, 1e-9) << i;
    EXPECT_NEAR(layout.upArea[i].y, expected[i].y, 1e-9) << i;
  }
}

TEST(PopoverGraphLayout, ExactlySixtySamplesSpanTheWholeWidth) {
  const auto layout = popoverGraphLayout(ramp(60), {}, 100, 1, width, height);
  ASSERT_EQ(layout.downArea.size(), 62U);
  EXPECT_NEAR(layout.downArea.front().x, 0, 1e-9);
  EXPECT_NEAR(layout.downArea[1].x, 0, 1e-9);
  EXPECT_NEAR(layout.downArea[60].x, width, 1e-9);
}

TEST(PopoverGraphLayout, MoreThanSixtySamplesDrawOnlyTheNewestSixty) {
  std::vector<double> samples(61, 1);
  samples.front() = 100;  // the oldest, dropped
  samples.back() = 100;   // the newest, at the right edge
  const auto layout = popoverGraphLayout(samples, {}, 100, 1, width, height);
  ASSERT_EQ(layout.downArea.size(), 62U);
  EXPECT_NEAR(layout.downArea[1].x, 0, 1e-9);
  EXPECT_LT(layout.downArea[1].y, height);
  EXPECT_DOUBLE_EQ(layout.downArea[60].y, height);
}

TEST(PopoverGraphLayout, FewerSamplesStartFurtherRightAndEndAtTheRightEdge) {
  const auto layout = popoverGraphLayout(ramp(10), {}, 100, 1, width, height);
  EXPECT_NEAR(layout.downArea.front().x, width - 9 * step, 1e-9);
  EXPECT_NEAR(layout.downArea[10].x, width, 1e-9);
  EXPECT_EQ(layout.downArea.back(), (GraphPoint{width, 50}));
}

struct OffsetCase {
  const char* name;
  double sample;
  double expectedOffset;
};

// The case as its test name shows it.
void PrintTo(const OffsetCase& c, std::ostream* out) {
  *out << c.name;
}

class PopoverGraphOffset : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(PopoverGraphOffset, FollowsTheLogarithmicScale) {
  const auto& c = GetParam();
  const auto layout = popoverGraphLayout({c.sample, c.sample}, {}, 1000, 1, width, height);
  ASSERT_FALSE(layout.downArea.empty());
  EXPECT_NEAR(layout.downArea[1].y - 50, c.expectedOffset, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PopoverGraphOffset,
    ::testing::Values(OffsetCase{"zero", 0, 0}, OffsetCase{"negative", -5, 0},
                      OffsetCase{"nan", std::nan(""), 0},
                      // 1/1000 of the peak: log10(1.999) / 3 of the half, above the minimum.
                      OffsetCase{"thousandth", 1, 50 * std::log10(1.999) / 3},
                      // Tiny but positive traffic still shows 1.5 points.
                      OffsetCase{"tiny", 1e-6, 1.5},
                      OffsetCase{"tenth", 100, 50 * std::log10(100.9) / 3},
                      OffsetCase{"peak", 1000, 50}, OffsetCase{"abovePeak", 5000, 50}),
    [](const auto& param) { return param.param.name; });

}  // namespace
}  // namespace pulsewell
