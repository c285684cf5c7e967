#include "menubar/format.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iomanip>
#include <limits>

namespace pulsewell {
namespace {

const NumberLocale english{"."};
const NumberLocale german{","};

// The German text is the English one with the decimal comma.
std::string withComma(std::string text) {
  for (auto& c : text) {
    if (c == '.') c = ',';
  }
  return text;
}

struct RateCase {
  std::optional<double> bytesPerSec;
  bool inBits;
  std::string expected;  // English
};

// A rate as a test name shows it: exact for the values used here, without a long tail.
void printRate(double bytesPerSec, bool inBits, std::ostream* out) {
  *out << std::setprecision(10) << bytesPerSec << (inBits ? " B/s in bits" : " B/s");
}

void PrintTo(const RateCase& c, std::ostream* out) {
  if (c.bytesPerSec) {
    printRate(*c.bytesPerSec, c.inBits, out);
  } else {
    *out << (c.inBits ? "none in bits" : "none");
  }
}

class RateTest : public testing::TestWithParam<RateCase> {};

TEST_P(RateTest, FormatsInBothSeparators) {
  const auto& c = GetParam();
  EXPECT_EQ(Format::rate(c.bytesPerSec, c.inBits, english), c.expected);
  EXPECT_EQ(Format::rate(c.bytesPerSec, c.inBits, german), withComma(c.expected));
}

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Rates, RateTest,
    testing::Values(RateCase{std::nullopt, false, "\u2014"}, RateCase{std::nullopt, true, "\u2014"},
                    RateCase{0.0, false, "0 B/s"}, RateCase{0.0, true, "0 bps"},
                    RateCase{-3.0, false, "0 B/s"}, RateCase{-0.0, false, "0 B/s"},
                    RateCase{nan, false, "0 B/s"}, RateCase{999.4, false, "999 B/s"},
                    RateCase{999.5, false, "1.0 KB/s"}, RateCase{9949.0, false, "9.9 KB/s"},
                    RateCase{9950.0, false, "10 KB/s"}, RateCase{1234567.0, false, "1.2 MB/s"},
                    RateCase{1234567.0, true, "9.9 Mbps"}, RateCase{125000.0, true, "1.0 Mbps"},
                    RateCase{5e12, false, "5000 GB/s"}, RateCase{80000.0, false, "80 KB/s"},
                    RateCase{999499.0, false, "999 KB/s"}, RateCase{999500.0, false, "1.0 MB/s"},
                    RateCase{1.0, true, "8 bps"}, RateCase{infinity, false, "\u2014"},
                    RateCase{std::numeric_limits<double>::max(), true, "\u2014"}));

struct AmountCase {
  std::uint64_t bytes;
  std::string expected;
};

// The case as its test name shows it.
void PrintTo(const AmountCase& c, std::ostream* out) {
  *out << c.bytes << " B";
}

class AmountTest : public testing::TestWithParam<AmountCase> {};

TEST_P(AmountTest, FormatsInBothSeparators) {
  EXPECT_EQ(Format::amount(GetParam().bytes, english), GetParam().expected);
  EXPECT_EQ(Format::amount(GetParam().bytes, german), withComma(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Amounts, AmountTest,
    testing::Values(AmountCase{0, "0 B"}, AmountCase{999, "999 B"}, AmountCase{1000, "1.0 KB"},
                    AmountCase{1536, "1.5 KB"}, AmountCase{12345678901, "12 GB"},
                    AmountCase{std::numeric_limits<std::uint64_t>::max(), "18446744 TB"}));

TEST(FormatTest, UsesAnySeparatorTextAndNoGrouping) {
  const NumberLocale arabic{"\u066b"};
  EXPECT_EQ(Format::rate(1500.0, false, arabic), "1\u066b5 KB/s");
  EXPECT_EQ(Format::rate(5e12, false, german), "5000 GB/s");
}

TEST(FormatTest, CompactRateKeepsTheNumberAndItsPrefix) {
  EXPECT_EQ(Format::compactRate(std::nullopt, false, english), "—");
  EXPECT_EQ(Format::compactRate(512, false, english), "512");
  EXPECT_EQ(Format::compactRate(80'000, false, english), "80K");
  EXPECT_EQ(Format::compactRate(1'234'567, false, english), "1.2M");
  EXPECT_EQ(Format::compactRate(1'234'567, true, english), "9.9M");
  EXPECT_EQ(Format::compactRate(5e12, false, english), "5000G");
}

TEST(FormatTest, ScaledStaysInAOneEntryList) {
  constexpr std::array<std::string_view, 1> single{"x"};
  EXPECT_EQ(Format::scaled(5000, single, english), "5000 x");
  EXPECT_EQ(Format::scaled(2.5, single, english), "2 x");  // plain unit: no decimals
  EXPECT_EQ(Format::scaled(5, {}, english), "");
}

struct RoundedCase {
  double bytesPerSec;
  bool inBits;
  double expected;
};

void PrintTo(const RoundedCase& c, std::ostream* out) {
  printRate(c.bytesPerSec, c.inBits, out);
}

class RoundedTest : public testing::TestWithParam<RoundedCase> {};

TEST_P(RoundedTest, RoundsUpToOneTwoOrFive) {
  EXPECT_DOUBLE_EQ(Format::rounded(GetParam().bytesPerSec, GetParam().inBits), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RoundedTest,
    testing::Values(RoundedCase{1, false, 1}, RoundedCase{1, true, 1.25},
                    RoundedCase{11, false, 20}, RoundedCase{1001, false, 2000},
                    RoundedCase{2.5e6, true, 2.5e6}, RoundedCase{300, false, 500},
                    RoundedCase{1.5e6, false, 2e6}, RoundedCase{300, true, 625},
                    RoundedCase{500, false, 500}, RoundedCase{2000, false, 2000},
                    RoundedCase{1000, false, 1000}, RoundedCase{5001, false, 10000},
                    RoundedCase{12.5e6, false, 20e6}));

TEST(FormatTest, RoundedOfNaNIsNaN) {
  EXPECT_TRUE(std::isnan(Format::rounded(nan, false)));
}

TEST(PeaksTest, EmptyHistoriesGiveTheSmallestScale) {
  EXPECT_EQ(Format::peaks({}, {}, 0, 0, false), (Format::Peaks{1, 1}));
  EXPECT_EQ(Format::peaks({}, {}, 0, 0, true), (Format::Peaks{1.25, 1.25}));
}

TEST(PeaksTest, WithoutLineSpeedsBothDirectionsShareTheLargerScale) {
  EXPECT_EQ(Format::peaks({100, 4000}, {50, 20}, 0, 0, false), (Format::Peaks{5000, 5000}));
  EXPECT_EQ(Format::peaks({50, 20}, {100, 4000}, 0, 0, false), (Format::Peaks{5000, 5000}));
}

TEST(PeaksTest, ALineSpeedFixesItsDirectionUntilTrafficExceedsIt) {
  const auto within = Format::peaks({100, 12'500'000}, {50, 20}, 100, 0, false);
  EXPECT_DOUBLE_EQ(within.downPeak, 12'500'000);
  EXPECT_DOUBLE_EQ(within.upPeak, Format::peaks({100, 12'500'000}, {50, 20}, 0, 0, false).upPeak);

  const auto beyond = Format::peaks({13'000'000}, {50, 20}, 100, 0, false);
  EXPECT_DOUBLE_EQ(beyond.downPeak, 20'000'000);
  EXPECT_DOUBLE_EQ(beyond.upPeak, Format::peaks({13'000'000}, {50, 20}, 0, 0, false).upPeak);
}

TEST(PeaksTest, TheUploadLineSpeedScalesOnlyTheUpload) {
  const auto peaks = Format::peaks({100}, {3000}, 0, 8, true);
  EXPECT_DOUBLE_EQ(peaks.upPeak, 1'000'000);
  EXPECT_DOUBLE_EQ(peaks.downPeak, 6250);  // the shared 24 kbit/s rounds up to 50 kbit/s
}

TEST(PeaksTest, ALineSpeedBelowOneCountsAsNotSet) {
  const auto unset = Format::peaks({100, 4000}, {50}, 0, 0, false);
  EXPECT_EQ(Format::peaks({100, 4000}, {50}, -5, -1, false), unset);
}

TEST(PeaksTest, ALineSpeedWithAnIdleLineKeepsTheLine) {
  EXPECT_DOUBLE_EQ(Format::peaks({}, {}, 1, 0, false).downPeak, 125'000);
}

TEST(PeaksTest, NaNSamplesAreSkipped) {
  EXPECT_EQ(Format::peaks({nan, 4000}, {nan}, 0, 0, false), (Format::Peaks{5000, 5000}));
}

}  // namespace
}  // namespace pulsewell
