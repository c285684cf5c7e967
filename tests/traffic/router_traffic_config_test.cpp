#include "traffic/router_traffic_config.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tests/support/traffic_printers.h"
#include "traffic/memory_defaults_store.h"
#include "traffic/settings_table.h"

namespace pulsewell {
namespace {

using Stored = std::map<std::string, DefaultsValue>;

// A usable set of stored values; each case changes one thing.
Stored usable() {
  return {{SettingsKey::routerHost, std::string("192.168.1.1")},
          {SettingsKey::routerPort, std::int64_t{161}},
          {SettingsKey::routerInterface, std::string("eth0")}};
}

Stored with(Stored stored, const std::string& key, DefaultsValue value) {
  stored.insert_or_assign(key, std::move(value));
  return stored;
}

Stored without(Stored stored, const std::string& key) {
  stored.erase(key);
  return stored;
}

RouterTrafficConfig expected(std::string host = "192.168.1.1", std::uint16_t port = 161,
                             std::string community = "public", std::string interface = "eth0",
                             bool swap = false) {
  return {std::move(host), port, std::move(community), std::move(interface), swap};
}

struct Case {
  std::string name;
  Stored stored;
  std::optional<std::string> community;
  std::optional<RouterTrafficConfig> config;
};

// The case as its test name shows it.
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class RouterTrafficConfigTest : public testing::TestWithParam<Case> {};

TEST_P(RouterTrafficConfigTest, BuildsTheConfigurationOrNone) {
  const MemoryDefaultsStore defaults(GetParam().stored);
  EXPECT_EQ(RouterTrafficConfig::fromDefaults(defaults, GetParam().community), GetParam().config);
}

constexpr const char* host = SettingsKey::routerHost;
constexpr const char* port = SettingsKey::routerPort;
constexpr const char* interface = SettingsKey::routerInterface;
constexpr const char* swap = SettingsKey::routerSwapDirections;
constexpr const char* pub = "public";

INSTANTIATE_TEST_SUITE_P(
    StoredValues, RouterTrafficConfigTest,
    testing::Values(
        Case{"usable", usable(), pub, expected()},
        // host
        Case{"hostLeadingBlankTrailingLineBreak",
             with(usable(), host, std::string(" router.lan\n")), pub, expected("router.lan")},
        Case{"hostTabsAndCarriageReturn", with(usable(), host, std::string("\t10.0.0.1\r\n")), pub,
             expected("10.0.0.1")},
        Case{"hostUnicodeSpacesAround",
             with(usable(), host, std::string("\u00A0\u3000router\u2028\u0085\u2009")), pub,
             expected("router")},
        Case{"hostBlankInside", with(usable(), host, std::string("router lan")), pub, std::nullopt},
        Case{"hostNoBreakSpaceInside", with(usable(), host, std::string("router\u00A0lan")), pub,
             std::nullopt},
        Case{"hostLineSeparatorInside", with(usable(), host, std::string("a\u2028b")), pub,
             std::nullopt},
        Case{"hostNextLineInside", with(usable(), host, std::string("a\u0085b")), pub,
             std::nullopt},
        Case{"hostOnlyBlanks", with(usable(), host, std::string(" \t\n\u00A0")), pub, std::nullopt},
        Case{"hostEmpty", with(usable(), host, std::string()), pub, std::nullopt},
        Case{"hostAbsent", without(usable(), host), pub, std::nullopt},
        Case{"hostNotText", with(usable(), host, std::int64_t{10}), pub, std::nullopt},
        Case{"hostIPv6Literal", with(usable(), host, std::string("::1")), pub, expected("::1")},
        // A zero-width space is not whitespace; the host is passed on as it is.
        Case{"hostZeroWidthSpaceKept", with(usable(), host, std::string("a\u200Bb")), pub,
             expected("a\u200Bb")},
        // port
        Case{"portAbsent", without(usable(), port), pub, expected()},
        Case{"portZero", with(usable(), port, std::int64_t{0}), pub, std::nullopt},
        Case{"portMinusOne", with(usable(), port, std::int64_t{-1}), pub, std::nullopt},
        Case{"portOne", with(usable(), port, std::int64_t{1}), pub, expected("192.168.1.1", 1)},
        Case{"portHighest", with(usable(), port, std::int64_t{65535}), pub,
             expected("192.168.1.1", 65535)},
        Case{"portAboveHighest", with(usable(), port, std::int64_t{65536}), pub, std::nullopt},
        Case{"portHuge", with(usable(), port, std::int64_t{4294967457}), pub, std::nullopt},
        Case{"portAsText", with(usable(), port, std::string("8161")), pub, expected()},
        Case{"portAsBadText", with(usable(), port, std::string("0")), pub, expected()},
        Case{"portFraction", with(usable(), port, 8161.5), pub, expected()},
        Case{"portWholeFloatingPoint", with(usable(), port, 8161.0), pub,
             expected("192.168.1.1", 8161)},
        Case{"portBoolean", with(usable(), port, true), pub, expected()},
        // community
        Case{"communityNone", usable(), std::nullopt, std::nullopt},
        Case{"communityEmpty", usable(), std::string(), std::nullopt},
        Case{"communityBlankKept", usable(), std::string("  "), expected("192.168.1.1", 161, "  ")},
        Case{"communityNotTrimmed", usable(), std::string(" s3cret\n"),
             expected("192.168.1.1", 161, " s3cret\n")},
        // interface and swap
        Case{"interfaceEmpty", with(usable(), interface, std::string()), pub,
             expected("192.168.1.1", 161, "public", "")},
        Case{"interfaceAbsent", without(usable(), interface), pub,
             expected("192.168.1.1", 161, "public", "")},
        Case{"interfaceNotTrimmed", with(usable(), interface, std::string(" eth0 ")), pub,
             expected("192.168.1.1", 161, "public", " eth0 ")},
        Case{"swapOn", with(usable(), swap, true), pub,
             expected("192.168.1.1", 161, "public", "eth0", true)},
        Case{"swapAsText", with(usable(), swap, std::string("true")), pub, expected()}),
    [](const testing::TestParamInfo<Case>& p) { return p.param.name; });

struct ProblemCase {
  std::string name;
  Stored stored;
  std::optional<std::string> community;
  RouterConfigProblem problem;
};

// The case as its test name shows it.
void PrintTo(const ProblemCase& c, std::ostream* out) {
  *out << c.name;
}

class RouterConfigProblemTest : public testing::TestWithParam<ProblemCase> {};

// The rules run in a fixed order; with several broken values the first rule decides.
TEST_P(RouterConfigProblemTest, NamesTheFirstFailingRule) {
  const MemoryDefaultsStore defaults(GetParam().stored);
  const auto checked = RouterTrafficConfig::check(defaults, GetParam().community);
  ASSERT_TRUE(std::holds_alternative<RouterConfigProblem>(checked));
  EXPECT_EQ(std::get<RouterConfigProblem>(checked), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Order, RouterConfigProblemTest,
    testing::Values(ProblemCase{"blankHostBeforeEverything",
                                with(with(usable(), host, std::string(" ")), port, std::int64_t{0}),
                                std::nullopt, RouterConfigProblem::noHost},
                    ProblemCase{"innerBlankBeforeCommunity",
                                with(usable(), host, std::string("a b")), std::nullopt,
                                RouterConfigProblem::hostHasWhitespace},
                    ProblemCase{"communityBeforePort", with(usable(), port, std::int64_t{70000}),
                                std::string(), RouterConfigProblem::noCommunity},
                    ProblemCase{"portZero", with(usable(), port, std::int64_t{0}), pub,
                                RouterConfigProblem::portOutOfRange},
                    ProblemCase{"portNegative", with(usable(), port, std::int64_t{-1}), pub,
                                RouterConfigProblem::portOutOfRange}),
    [](const testing::TestParamInfo<ProblemCase>& p) { return p.param.name; });

TEST(RouterTrafficConfigEquality, DiffersWhenAnyOneFieldDiffers) {
  const RouterTrafficConfig base = expected();
  EXPECT_EQ(base, expected());
  EXPECT_NE(base, expected("192.168.1.2"));
  EXPECT_NE(base, expected("192.168.1.1", 162));
  EXPECT_NE(base, expected("192.168.1.1", 161, "private"));
  EXPECT_NE(base, expected("192.168.1.1", 161, "public", "eth1"));
  EXPECT_NE(base, expected("192.168.1.1", 161, "public", "eth0", true));
}

// The typed helpers every reader of the settings relies on.
TEST(DefaultsStoreHelpers, GiveValuesOnlyOfTheirOwnType) {
  const MemoryDefaultsStore defaults(Stored{{"text", std::string("42")},
                                            {"number", std::int64_t{42}},
                                            {"flag", true},
                                            {"fraction", 2.5},
                                            {"whole", 3.0}});
  EXPECT_EQ(defaults.string("text"), "42");
  EXPECT_EQ(defaults.string("number"), std::nullopt);
  EXPECT_EQ(defaults.string("absent"), std::nullopt);

  EXPECT_TRUE(defaults.boolean("flag"));
  EXPECT_FALSE(defaults.boolean("number"));
  EXPECT_FALSE(defaults.boolean("text"));
  EXPECT_FALSE(defaults.boolean("absent"));

  EXPECT_EQ(defaults.integer("number"), 42);
  EXPECT_EQ(defaults.integer("whole"), 3);
  EXPECT_EQ(defaults.integer("fraction"), 0);
  EXPECT_EQ(defaults.integer("text"), 0);
  EXPECT_EQ(defaults.integer("flag"), 0);
  EXPECT_EQ(defaults.integer("absent"), 0);
}

TEST(DefaultsStoreHelpers, WholeNumberRejectsValuesOutsideTheIntegerRange) {
  EXPECT_EQ(wholeNumber(DefaultsValue{9.2e18}), std::int64_t{9200000000000000000});
  EXPECT_EQ(wholeNumber(DefaultsValue{9.3e18}), std::nullopt);
  EXPECT_EQ(wholeNumber(DefaultsValue{-9223372036854775808.0}), INT64_MIN);
  EXPECT_EQ(wholeNumber(DefaultsValue{std::numeric_limits<double>::infinity()}), std::nullopt);
  EXPECT_EQ(wholeNumber(DefaultsValue{std::numeric_limits<double>::quiet_NaN()}), std::nullopt);
}

TEST(MemoryDefaultsStore, StoredValueWinsOverRegisteredDefault) {
  MemoryDefaultsStore defaults;
  defaults.registerDefaults({{SettingsKey::menuBarGraph, std::string("beside")}});
  EXPECT_EQ(defaults.string(SettingsKey::menuBarGraph), "beside");

  defaults.set(SettingsKey::menuBarGraph, std::string("off"));
  EXPECT_EQ(defaults.string(SettingsKey::menuBarGraph), "off");

  // Registering again never overrides what the user stored.
  defaults.registerDefaults({{SettingsKey::menuBarGraph, std::string("behind")}});
  EXPECT_EQ(defaults.string(SettingsKey::menuBarGraph), "off");
}

TEST(MemoryDefaultsStore, ChangeSignalFiresAfterEverySetWithTheNewValueInPlace) {
  MemoryDefaultsStore defaults;
  std::vector<std::int64_t> seen;
  const auto subscription =
      defaults.onChange([&] { seen.push_back(defaults.integer(SettingsKey::routerPort)); });

  defaults.set(SettingsKey::routerPort, std::int64_t{1161});
  defaults.set(SettingsKey::routerPort, std::int64_t{1161});  // the same value is still a write
  defaults.set(SettingsKey::routerPort, std::int64_t{2161});
  EXPECT_EQ(seen, (std::vector<std::int64_t>{1161, 1161, 2161}));
}

TEST(MemoryDefaultsStore, NoSignalAfterTheSubscriptionEnds) {
  MemoryDefaultsStore defaults;
  int calls = 0;
  {
    const auto subscription = defaults.onChange([&] { ++calls; });
    defaults.set(SettingsKey::speedInBits, true);
  }
  defaults.set(SettingsKey::speedInBits, false);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace pulsewell
