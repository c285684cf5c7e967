#include "menubar/qt/router_menu_bar_graph.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <limits>

#include "tests/support/test_artifacts.h"

namespace pulsewell {
namespace {

namespace Graph = RouterMenuBarGraph;

constexpr double height = 22;

// Samples the pixel under a point given in device-independent pixels, y down.
QColor at(const QImage& image, double x, double y) {
  const double ratio = image.devicePixelRatio();
  return image.pixelColor(static_cast<int>(std::floor(x * ratio)),
                          static_cast<int>(std::floor(y * ratio)));
}

bool isGreen(const QColor& c) {
  return c.alpha() > 0 && c.green() > c.red() + 60 && c.green() > c.blue() + 60;
}
bool isOrange(const QColor& c) {
  return c.alpha() > 0 && c.red() > c.green() + 60 && c.green() > c.blue() + 60;
}
bool near(const QColor& a, const QColor& b, int tolerance = 3) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

// The rightmost device pixel column in rows [top, bottom) holding a clearly drawn pixel,
// in device-independent pixels; -1 when there is none.
double rightmostInk(const QImage& image, double top, double bottom, double right) {
  const double ratio = image.devicePixelRatio();
  const int lastColumn = static_cast<int>(std::ceil(right * ratio)) - 1;
  for (int x = lastColumn; x >= 0; --x) {
    for (int y = static_cast<int>(top * ratio); y < static_cast<int>(bottom * ratio); ++y) {
      if (image.pixelColor(x, y).alpha() > 96) return (x + 1) / ratio;
    }
  }
  return -1;
}

int countPixels(const QImage& image, bool (*test)(const QColor&)) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x)
      count += test(image.pixelColor(x, y)) ? 1 : 0;
  }
  return count;
}

RouterGraphData full(bool behind) {
  return RouterGraphData{std::vector<double>(60, 100), std::vector<double>(60, 100), 100, 100,
                         behind};
}

class GraphImageTest : public testing::TestWithParam<double> {
 protected:
  double ratio() const { return GetParam(); }
  // Saves `image` as a picture named after `name` and the pixel ratio.
  void save(const QImage& image, const char* name) const {
    test::saveArtifact(image, QStringLiteral("menubar"),
                       QStringLiteral("%1@%2x.png").arg(QLatin1String(name)).arg(ratio()));
  }
  double textWidth(std::string_view down = "1.2 MB/s", std::string_view up = "80 KB/s") const {
    return Graph::image(down, up, std::nullopt, height, ratio()).deviceIndependentSize().width();
  }
};

TEST_P(GraphImageTest, IsATransparentColourImageAtThePixelRatio) {
  const QImage image = Graph::image("1.2 MB/s", "80 KB/s", std::nullopt, height, ratio());
  EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(image.devicePixelRatio(), ratio());
  EXPECT_EQ(image.height(), static_cast<int>(height * ratio()));
  EXPECT_EQ(image.deviceIndependentSize().height(), height);
  EXPECT_EQ(at(image, 0.5, 0.5).alpha(), 0);  // left of right-aligned short text
}

TEST_P(GraphImageTest, TheTextBlockKeepsTheReferenceWidth) {
  const double reference = textWidth("888 MB/s", "888 MB/s");
  EXPECT_EQ(reference, std::ceil(reference));
  EXPECT_EQ(textWidth("1.2 MB/s", "80 KB/s"), reference);
  EXPECT_EQ(textWidth("\u2014", "\u2014"), reference);
  EXPECT_EQ(textWidth("9.9 Mbps", "0 bps"), reference);
  EXPECT_GT(textWidth("12345678 GB/s", "1 B/s"), reference);
}

// Glyphs drawn at another resolution than they were measured at outgrow their layout: the
// widest number then runs into its unit and is cut at the image's top. (The down arrow's
// tip may touch the bottom row: the layout lets the lower line's box reach just below it.)
TEST_P(GraphImageTest, TheWidestTextStaysInsideTheImage) {
  const QImage image = Graph::image("888 MB/s", "888 MB/s", std::nullopt, height, ratio());
  const auto inked = [&](int x, int y) { return image.pixelColor(x, y).alpha() > 96; };
  for (int x = 0; x < image.width(); ++x)
    EXPECT_FALSE(inked(x, 0)) << "top row, column " << x;
  for (int y = 0; y < image.height(); ++y)
    EXPECT_FALSE(inked(0, y)) << "left column, row " << y;
}

TEST_P(GraphImageTest, BesidePutsAStripRightOfTheText) {
  const double text = textWidth();
  const QImage image = Graph::image("1.2 MB/s", "80 KB/s", full(false), height, ratio());
  EXPECT_EQ(image.deviceIndependentSize().width(), text + 34);
  save(image, "beside");
  const double middle = text + 4 + 15;
  EXPECT_TRUE(isOrange(at(image, middle, 4))) << "upload above the mid line";
  EXPECT_TRUE(isGreen(at(image, middle, 18))) << "download below it";
  EXPECT_EQ(at(image, middle, 4).alpha(), 255);
  EXPECT_EQ(at(image, middle, 0.5).alpha(), 0) << "the strip starts 2 points from the top";
  EXPECT_EQ(at(image, middle, 21.5).alpha(), 0) << "and ends 2 points from the bottom";
  for (int half = 0; half < static_cast<int>(2 * height); ++half) {
    const double y = 0.25 + (half * 0.5);
    EXPECT_EQ(at(image, text + 2, y).alpha(), 0) << "the gap between text and strip, y " << y;
  }
}

TEST_P(GraphImageTest, BehindLiesFaintlyUnderTheText) {
  const double text = textWidth("\u2014", "\u2014");
  const QImage image = Graph::image("\u2014", "\u2014", full(true), height, ratio());
  save(image, "behind");
  EXPECT_EQ(image.deviceIndependentSize().width(), text);
  const QColor upper = at(image, 3, 4);
  const QColor lower = at(image, 3, 18);
  EXPECT_TRUE(isOrange(upper));
  EXPECT_TRUE(isGreen(lower));
  EXPECT_NEAR(upper.alphaF(), 0.55, 0.02);
  EXPECT_NEAR(lower.alphaF(), 0.55, 0.02);
  EXPECT_EQ(at(image, 3, 0.5).alpha(), 0) << "the graph starts 1 point from the top";
}

TEST_P(GraphImageTest, TextIsRightAlignedToTheTextWidth) {
  const double text = textWidth();
  const QImage image = Graph::image("1.2 MB/s", "80 KB/s", full(false), height, ratio());
  const double upperRight = rightmostInk(image, 0, 9, text);
  const double lowerRight = rightmostInk(image, 13, height, text);
  // The two lines differ in width but end together, at the arrows' right side bearing.
  EXPECT_NEAR(upperRight, lowerRight, 1);
  EXPECT_GT(upperRight, text - 4);
  EXPECT_GT(lowerRight, text - 4);
  // Nothing of the text spills into the gap before the strip but its thin halo.
  EXPECT_LE(rightmostInk(image, 0, height, text + 4), text + 1);
}

TEST_P(GraphImageTest, TextIsDrawnInTheLabelColourOverAThinHalo) {
  const QColor label = QGuiApplication::palette().color(QPalette::WindowText);
  const QImage image = Graph::image("888 MB/s", "888 MB/s", std::nullopt, height, ratio());
  save(image, "none");
  int inLabelColour = 0;
  int halo = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() == 255 && near(c, label)) ++inLabelColour;
      // The halo is the opposite of the label colour, half transparent.
      if (c.alpha() > 0 && c.alpha() < 200 && std::abs(c.lightness() - label.lightness()) > 128) {
        ++halo;
      }
    }
  }
  EXPECT_GT(inLabelColour, 10);
  EXPECT_GT(halo, 10);
}

TEST_P(GraphImageTest, EmptyHistoriesShowOnlyTheMidLine) {
  const double text = textWidth();
  const RouterGraphData empty{{}, {}, 1, 1, false};
  const QImage image = Graph::image("\u2014", "\u2014", empty, height, ratio());
  save(image, "connecting");
  EXPECT_EQ(countPixels(image, isGreen), 0);
  EXPECT_EQ(countPixels(image, isOrange), 0);
  EXPECT_EQ(at(image, text + 19, 5).alpha(), 0);
  EXPECT_EQ(at(image, text + 19, 17).alpha(), 0);
  // The half-point line around y 11 is faint but there, across the whole strip.
  for (double x : {text + 4.5, text + 19, text + 33.5}) {
    const int alpha = at(image, x, 10.9).alpha() + at(image, x, 11.1).alpha();
    EXPECT_GT(alpha, 10) << x;
    EXPECT_LT(alpha, 120) << x;
  }
}

TEST_P(GraphImageTest, OneSampleDrawsNoArea) {
  const RouterGraphData single{{100}, {100}, 100, 100, false};
  const QImage image = Graph::image("\u2014", "\u2014", single, height, ratio());
  EXPECT_EQ(countPixels(image, isGreen), 0);
  EXPECT_EQ(countPixels(image, isOrange), 0);
}

TEST_P(GraphImageTest, FewSamplesEndAtTheRightEdge) {
  const double text = textWidth();
  const RouterGraphData few{{100, 100, 100}, {100, 100, 100}, 100, 100, false};
  const QImage image = Graph::image("\u2014", "\u2014", few, height, ratio());
  EXPECT_TRUE(isGreen(at(image, text + 33.5, 18)));
  EXPECT_EQ(at(image, text + 20, 18).alpha(), 0);
}

TEST_P(GraphImageTest, ADarkPaletteUsesTheDarkColours) {
  const QPalette original = QGuiApplication::palette();
  QPalette dark = original;
  dark.setColor(QPalette::Window, QColor(0x1e, 0x1e, 0x1e));
  dark.setColor(QPalette::WindowText, Qt::white);
  QGuiApplication::setPalette(dark);
  const double text = textWidth();
  const QImage image = Graph::image("888 MB/s", "888 MB/s", full(false), height, ratio());
  QGuiApplication::setPalette(original);

  EXPECT_TRUE(near(at(image, text + 19, 18), QColor(0x30, 0xD1, 0x58)));
  EXPECT_TRUE(near(at(image, text + 19, 4), QColor(0xFF, 0x9F, 0x0A)));
  bool whiteText = false;
  for (int x = 0; x < static_cast<int>(text * ratio()); ++x) {
    for (int y = 0; y < image.height(); ++y) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() == 255 && near(c, Qt::white)) whiteText = true;
    }
  }
  EXPECT_TRUE(whiteText);
}

TEST_P(GraphImageTest, ALightPaletteUsesTheLightColours) {
  const double text = textWidth();
  const QImage image = Graph::image("888 MB/s", "888 MB/s", full(false), height, ratio());
  EXPECT_TRUE(near(at(image, text + 19, 18), QColor(0x34, 0xC7, 0x59)));
  EXPECT_TRUE(near(at(image, text + 19, 4), QColor(0xFF, 0x95, 0x00)));
}

TEST_P(GraphImageTest, TheSquareShowsUploadOverDownloadInTheirColours) {
  const QImage icon = Graph::numbersSquare("80K", "1.2M", std::nullopt, 22, ratio(), false);
  save(icon, "square");
  EXPECT_EQ(icon.devicePixelRatio(), ratio());
  EXPECT_EQ(icon.width(), static_cast<int>(22 * ratio()));
  EXPECT_EQ(icon.height(), icon.width());
  const QImage top = icon.copy(0, 0, icon.width(), icon.height() / 2);
  const QImage bottom = icon.copy(0, icon.height() / 2, icon.width(), icon.height() / 2);
  // Digits, not a sliver: each half is well inked, in its own colour only.
  EXPECT_GT(countPixels(top, isOrange), static_cast<int>(12 * ratio() * ratio()));
  EXPECT_EQ(countPixels(top, isGreen), 0);
  EXPECT_GT(countPixels(bottom, isGreen), static_cast<int>(12 * ratio() * ratio()));
  EXPECT_EQ(countPixels(bottom, isOrange), 0);
}

TEST_P(GraphImageTest, AMutedSquareHasNoTrafficColours) {
  const QImage icon = Graph::numbersSquare("—", "—", full(false), 22, ratio(), true);
  save(icon, "square-muted");
  EXPECT_EQ(countPixels(icon, isGreen), 0);
  EXPECT_EQ(countPixels(icon, isOrange), 0);
  EXPECT_NE(icon, Graph::numbersSquare("—", "—", full(false), 22, ratio(), false));
}

TEST_P(GraphImageTest, TheRouterSymbolLightsUpOnlyWhenLit) {
  const QImage dark = Graph::routerSymbol(22, ratio(), false);
  save(dark, "router");
  EXPECT_EQ(countPixels(dark, isGreen), 0);
  int ink = 0;
  for (int y = 0; y < dark.height(); ++y) {
    for (int x = 0; x < dark.width(); ++x)
      ink += dark.pixelColor(x, y).alpha() > 128 ? 1 : 0;
  }
  EXPECT_GT(ink, static_cast<int>(20 * ratio() * ratio()));
  EXPECT_EQ(at(dark, 0.5, 0.5).alpha(), 0);
  const QImage lit = Graph::routerSymbol(22, ratio(), true);
  EXPECT_GT(countPixels(lit, isGreen), 0);
  EXPECT_GT(countPixels(lit, isOrange), 0);
}

TEST_P(GraphImageTest, AMutedImageDrawsItsTextFaintly) {
  const QImage live = Graph::image("—", "—", std::nullopt, height, ratio());
  const QImage muted = Graph::image("—", "—", std::nullopt, height, ratio(), true);
  int strongest = 0;
  for (int y = 0; y < muted.height(); ++y) {
    for (int x = 0; x < muted.width(); ++x)
      strongest = std::max(strongest, muted.pixelColor(x, y).alpha());
  }
  EXPECT_LT(strongest, 230);
  EXPECT_NE(live, muted);
}

INSTANTIATE_TEST_SUITE_P(PixelRatios, GraphImageTest, testing::Values(1.0, 2.0),
                         [](const testing::TestParamInfo<double>& testInfo) {
                           return testInfo.param == 1.0 ? std::string("x1") : std::string("x2");
                         });

TEST(GraphImageInputTest, BadSizesGiveANullImage) {
  EXPECT_TRUE(Graph::image("1 B/s", "1 B/s", std::nullopt, 0, 1).isNull());
  EXPECT_TRUE(Graph::image("1 B/s", "1 B/s", std::nullopt, -22, 1).isNull());
  EXPECT_TRUE(Graph::image("1 B/s", "1 B/s", std::nullopt, std::nan(""), 1).isNull());
  EXPECT_TRUE(Graph::image("1 B/s", "1 B/s", std::nullopt, 1e12, 1).isNull());
  EXPECT_TRUE(Graph::image(std::string(20000, '8'), "1 B/s", std::nullopt, height, 1).isNull());
  EXPECT_TRUE(Graph::image("1 B/s", "1 B/s", std::nullopt, height, 1e9).isNull());
  EXPECT_TRUE(Graph::numbersSquare("1", "1", std::nullopt, 0, 1, false).isNull());
  EXPECT_TRUE(Graph::numbersSquare("1", "1", std::nullopt, 1 << 30, 1, false).isNull());
  EXPECT_TRUE(Graph::routerSymbol(0, 1, false).isNull());
}

TEST(GraphImageInputTest, AnUnusablePixelRatioCountsAsOne) {
  for (double ratio : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN()}) {
    const QImage image = Graph::image("1 B/s", "1 B/s", std::nullopt, height, ratio);
    EXPECT_EQ(image.devicePixelRatio(), 1.0);
    EXPECT_EQ(image.height(), 22);
  }
}

TEST(GraphFontsTest, ValueFontHasEqualDigitsAtTenAndAHalfPoints) {
  const QFont& font = Graph::valueFont();
  EXPECT_EQ(font.pointSizeF(), 10.5);
  EXPECT_EQ(font.weight(), QFont::DemiBold);
  const QFontMetricsF metrics(font);
  const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
  for (char digit = '1'; digit <= '9'; ++digit) {
    EXPECT_NEAR(metrics.horizontalAdvance(QLatin1Char(digit)), zero, 0.01) << digit;
  }
}

TEST(GraphFontsTest, UnitFontIsRegularAtEightAndAHalfPoints) {
  EXPECT_EQ(Graph::unitFont().pointSizeF(), 8.5);
  EXPECT_EQ(Graph::unitFont().weight(), QFont::Normal);
}

}  // namespace
}  // namespace pulsewell
