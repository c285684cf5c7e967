#include "app/terminal/terminal_config.h"

#include <gtest/gtest.h>

#include "traffic/memory_defaults_store.h"
#include "traffic/settings_table.h"

namespace pulsewell {
namespace {

const std::map<std::string, DefaultsValue> storedRouter = {
    {SettingsKey::routerHost, std::string("192.0.2.1")},
    {SettingsKey::routerPort, std::int64_t{161}},
    {SettingsKey::routerInterface, std::string("ppp0")},
    {SettingsKey::routerLineSpeed, std::int64_t{100}},
    {SettingsKey::routerLineSpeedUp, std::int64_t{40}},
};

std::string problemOf(const std::variant<TerminalSettings, TerminalConfigProblem>& result) {
  const auto* problem = std::get_if<TerminalConfigProblem>(&result);
  return problem == nullptr ? "" : problem->message;
}

TEST(TerminalConfig, StoredSettingsServeWhenNothingIsOverridden) {
  const MemoryDefaultsStore stored(storedRouter);
  const auto result = terminalSettings({}, stored, "velmar", true);
  ASSERT_TRUE(std::holds_alternative<TerminalSettings>(result)) << problemOf(result);
  const auto& settings = std::get<TerminalSettings>(result);
  EXPECT_EQ(settings.config, (RouterTrafficConfig{"192.0.2.1", 161, "velmar", "ppp0", false}));
  EXPECT_EQ(settings.downLineSpeed, 100);
  EXPECT_EQ(settings.upLineSpeed, 40);
  EXPECT_FALSE(settings.inBits);
}

TEST(TerminalConfig, OverridesWinForThisRunAndLeaveTheStoreAlone) {
  const MemoryDefaultsStore stored(storedRouter);
  TerminalOptions options;
  options.host = " 127.0.0.1\n";
  options.port = "+1161";
  options.interface = "lo";
  options.swap = true;
  options.bits = true;
  const auto result = terminalSettings(options, stored, "velmar", true);
  ASSERT_TRUE(std::holds_alternative<TerminalSettings>(result)) << problemOf(result);
  const auto& settings = std::get<TerminalSettings>(result);
  EXPECT_EQ(settings.config, (RouterTrafficConfig{"127.0.0.1", 1161, "velmar", "lo", true}));
  EXPECT_TRUE(settings.inBits);
  EXPECT_EQ(stored.string(SettingsKey::routerHost), "192.0.2.1");
  EXPECT_EQ(stored.string(SettingsKey::routerInterface), "ppp0");
}

TEST(TerminalConfig, SaysExactlyWhatIsMissing) {
  const MemoryDefaultsStore empty;
  const MemoryDefaultsStore router(storedRouter);
  TerminalOptions withSpace;
  withSpace.host = "192.0.2 .1";
  TerminalOptions badPort;
  badPort.port = "http";
  TerminalOptions zeroPort;
  zeroPort.port = "0";
  TerminalOptions noInterface;
  noInterface.interface = "";

  EXPECT_NE(problemOf(terminalSettings({}, empty, "velmar", true)).find("No device address"),
            std::string::npos);
  EXPECT_NE(problemOf(terminalSettings(withSpace, router, "velmar", true)).find("spaces"),
            std::string::npos);
  EXPECT_NE(problemOf(terminalSettings({}, router, std::nullopt, true)).find("PULSEWELL_COMMUNITY"),
            std::string::npos);
  EXPECT_NE(problemOf(terminalSettings({}, router, "", true)).find("No community"),
            std::string::npos);
  EXPECT_NE(problemOf(terminalSettings(badPort, router, "velmar", true)).find("1 to 65535"),
            std::string::npos);
  EXPECT_NE(problemOf(terminalSettings(zeroPort, router, "velmar", true)).find("1 to 65535"),
            std::string::npos);
  EXPECT_NE(problemOf(terminalSettings(noInterface, router, "velmar", true)).find("--interface"),
            std::string::npos);
}

TEST(TerminalConfig, ListingInterfacesNeedsNoInterface) {
  const MemoryDefaultsStore stored({{SettingsKey::routerHost, std::string("192.0.2.1")}});
  EXPECT_TRUE(std::holds_alternative<TerminalSettings>(terminalSettings({}, stored, "x", false)));
}

}  // namespace
}  // namespace pulsewell
