#include "traffic/interface_counters.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "traffic/interface_name.h"

namespace pulsewell {
namespace {

using Source = OctetCounters::Source;

constexpr CounterValue c64(std::uint64_t value) {
  return {value, 64};
}
constexpr CounterValue c32(std::uint64_t value) {
  return {value, 32};
}
constexpr std::optional<CounterValue> none = std::nullopt;

struct ChoiceCase {
  std::string name;
  std::optional<CounterValue> hcIn, hcOut, in, out;
  std::optional<Source> source;  // none: no counters
  CounterWidth width;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) {
  *out << c.name;
}

class CounterChoiceTest : public testing::TestWithParam<ChoiceCase> {};

TEST_P(CounterChoiceTest, PicksThePairTheInterfaceIsMeasuredBy) {
  const auto& c = GetParam();
  const auto chosen = chooseCounters(c.hcIn, c.hcOut, c.in, c.out);
  ASSERT_EQ(chosen.has_value(), c.source.has_value());
  if (!chosen) return;
  EXPECT_EQ(chosen->source, *c.source);
  EXPECT_EQ(chosen->width(), c.width);
}

INSTANTIATE_TEST_SUITE_P(
    Agents, CounterChoiceTest,
    testing::Values(
        ChoiceCase{"both", c64(9), c64(9), c32(9), c32(9), Source::highCapacity,
                   CounterWidth::bits64},
        ChoiceCase{"onlyHighCapacity", c64(9), c64(9), none, none, Source::highCapacity,
                   CounterWidth::bits64},
        ChoiceCase{"only32Bit", none, none, c32(9), c32(9), Source::ifTable, CounterWidth::bits32},
        ChoiceCase{"oneHighCapacityMissing", c64(9), none, c32(9), c32(9), Source::ifTable,
                   CounterWidth::bits32},
        ChoiceCase{"highCapacityAtZeroWhile32BitCounted", c64(0), c64(9), c32(9), c32(9),
                   Source::ifTable, CounterWidth::bits32},
        ChoiceCase{"idleInterfaceAllZero", c64(0), c64(0), c32(0), c32(0), Source::highCapacity,
                   CounterWidth::bits64},
        ChoiceCase{"highCapacityBelow32BitStillCounts", c64(5), c64(5), c32(9), c32(9),
                   Source::highCapacity, CounterWidth::bits64},
        ChoiceCase{"highCapacityTypedCounter32", c32(9), c32(9), c32(9), c32(9),
                   Source::highCapacity, CounterWidth::bits32},
        ChoiceCase{"ifTableTypedCounter64", none, none, c64(9), c64(9), Source::ifTable,
                   CounterWidth::bits64},
        ChoiceCase{"mixedWidthsCountAsNarrow", none, none, c64(9), c32(9), Source::ifTable,
                   CounterWidth::bits32},
        ChoiceCase{"neither", none, c64(9), c32(9), none, std::nullopt, CounterWidth::none}),
    [](const testing::TestParamInfo<ChoiceCase>& p) { return p.param.name; });

TEST(CounterStepTest, GrowingLowerAndWrapping) {
  constexpr std::uint64_t wrap = std::uint64_t{1} << 32U;
  EXPECT_EQ(counterStep(c64(100), c64(350)), (CounterStep{250, false}));
  EXPECT_EQ(counterStep(c32(7), c32(7)), (CounterStep{0, false}));
  // A 32-bit counter wraps once, to the byte.
  EXPECT_EQ(counterStep(c32(wrap - 1), c32(0)), (CounterStep{1, true}));
  EXPECT_EQ(counterStep(c32(wrap - 10), c32(990)), (CounterStep{1000, true}));
  // A 64-bit counter, or a 32-bit one beside a 64-bit reading, going down was reset.
  EXPECT_EQ(counterStep(c64(1000), c64(10)), std::nullopt);
  EXPECT_EQ(counterStep(c64(1000), c32(10)), std::nullopt);
  EXPECT_EQ(counterStep(c32(1000), c64(10)), std::nullopt);
}

TEST(LineSpeedTest, HighSpeedFirstThenSpeedBelowItsCeiling) {
  EXPECT_EQ(lineBytesPerSecond(c32(1000), c32(100'000'000)), 125e6);
  EXPECT_EQ(lineBytesPerSecond(c32(0), c32(100'000'000)), 12.5e6);
  EXPECT_EQ(lineBytesPerSecond(none, c32(8)), 1.0);
  // 2^32 - 1 says only "this fast or faster"; 0 says nothing.
  EXPECT_EQ(lineBytesPerSecond(none, c32(4'294'967'295)), std::nullopt);
  EXPECT_EQ(lineBytesPerSecond(c32(0), c32(0)), std::nullopt);
  EXPECT_EQ(lineBytesPerSecond(none, none), std::nullopt);
}

std::optional<std::string> nameOf(const SNMPValue& ifName, const SNMPValue& ifDescr) {
  const auto name = interfaceName(ifName, ifDescr);
  if (!name) return std::nullopt;
  return std::string(name->begin(), name->end());
}

TEST(InterfaceNameTest, IfNameFirstThenTheDescriptionWithoutTrailingNuls) {
  const auto text = [](std::string_view bytes) { return SNMPValue::bytes(bytes); };
  EXPECT_EQ(nameOf(text("wan"), text("WAN port")), "wan");
  EXPECT_EQ(nameOf(text(""), text("WAN port")), "WAN port");
  EXPECT_EQ(nameOf(SNMPValue::missing(), text("eth0")), "eth0");
  EXPECT_EQ(nameOf(text(std::string_view("\0\0", 2)), text("eth0")), "eth0");
  EXPECT_EQ(nameOf(SNMPValue::missing(), text(std::string_view("Intel PRO\0", 10))), "Intel PRO");
  // Only trailing NULs go; one inside stays part of the name.
  EXPECT_EQ(nameOf(text(std::string_view("a\0b\0", 4)), text("x")), std::string("a\0b", 3));
  EXPECT_EQ(nameOf(SNMPValue::integer(3), SNMPValue::missing()), std::nullopt);
  EXPECT_EQ(nameOf(text(""), text("")), std::nullopt);
}

}  // namespace
}  // namespace pulsewell
