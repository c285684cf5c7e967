#include "app/terminal/terminal_options.h"

#include <gtest/gtest.h>

namespace pulsewell {
namespace {

using Command = TerminalOptions::Command;

TerminalOptions parsed(const std::vector<std::string>& arguments) {
  const auto result = parseTerminalOptions(arguments);
  const auto* options = std::get_if<TerminalOptions>(&result);
  if (options == nullptr) {
    ADD_FAILURE() << std::get<TerminalUsageError>(result).message;
    return {};
  }
  return *options;
}

std::string refusal(const std::vector<std::string>& arguments) {
  const auto result = parseTerminalOptions(arguments);
  const auto* error = std::get_if<TerminalUsageError>(&result);
  return error == nullptr ? "" : error->message;
}

TEST(TerminalOptions, WatchTakesEveryOverrideInBothSpellings) {
  const auto options = parsed({"watch", "--host", "192.0.2.1", "--port=1161", "--interface", "ppp0",
                               "--bits", "--swap", "--json", "--count", "3", "--interval=0.5"});
  EXPECT_EQ(options.command, Command::watch);
  EXPECT_EQ(options.host, "192.0.2.1");
  EXPECT_EQ(options.port, "1161");
  EXPECT_EQ(options.interface, "ppp0");
  EXPECT_TRUE(options.bits);
  EXPECT_TRUE(options.swap);
  EXPECT_TRUE(options.json);
  EXPECT_EQ(options.count, 3U);
  EXPECT_EQ(options.interval, std::chrono::milliseconds(500));
}

TEST(TerminalOptions, DefaultsLeaveTheStoredSettingsInCharge) {
  const auto options = parsed({"watch"});
  EXPECT_FALSE(options.host || options.port || options.interface || options.count);
  EXPECT_FALSE(options.bits || options.swap || options.json);
  EXPECT_EQ(options.interval, std::chrono::seconds(2));
}

TEST(TerminalOptions, HelpAndVersionInEveryUsualSpelling) {
  for (const auto* word : {"--help", "-h", "help"})
    EXPECT_EQ(parsed({word}).command, Command::help);
  for (const auto* word : {"--version", "-V"})
    EXPECT_EQ(parsed({word}).command, Command::version);
  EXPECT_EQ(parsed({"watch", "--host", "x", "--help"}).command, Command::help);
}

TEST(TerminalOptions, RefusesWhatItCannotUse) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"watch", "--community", "public"}, "never taken from the command line"},
      {{"watch", "--community=public"}, "never taken from the command line"},
      {{"interfaces", "--community", "x"}, "never taken from the command line"},
      {{"watch", "--host"}, "--host needs a value"},
      {{"watch", "--host", " "}, "--host needs a device address without spaces"},
      {{"interfaces", "--host=router one"}, "--host needs a device address without spaces"},
      {{"watch", "--port", "0"}, "--port needs a whole number from 1 to 65535"},
      {{"watch", "--port=65536"}, "--port needs a whole number from 1 to 65535"},
      {{"interfaces", "--port", "snmp"}, "--port needs a whole number from 1 to 65535"},
      {{"watch", "--interface="}, "--interface needs a name"},
      {{"watch", "--count", "0"}, "--count needs a whole number above 0"},
      {{"watch", "--count", "2x"}, "--count needs a whole number above 0"},
      {{"watch", "--interval", "0.01"}, "--interval needs seconds"},
      {{"watch", "--interval", "nan"}, "--interval needs seconds"},
      {{"watch", "--bits=yes"}, "Unknown option '--bits=yes'"},
      {{"watch", "--frobnicate"}, "Unknown option '--frobnicate'"},
      {{"interfaces", "--interface", "eth0"}, "Unknown option '--interface'"},
      {{"interfaces", "--json"}, "Unknown option '--json'"},
      {{"sing"}, "Unknown command 'sing'"},
      {{}, "Missing command"},
  };
  for (const auto& [arguments, expected] : cases) {
    const auto message = refusal(arguments);
    EXPECT_NE(message.find(expected), std::string::npos) << "got: " << message;
    EXPECT_NE(message.find("pulsewell --help"), std::string::npos);
  }
}

TEST(TerminalOptions, UsageNamesEveryCommandAndTheCommunityRule) {
  const auto usage = terminalUsage();
  for (const auto* word : {"watch", "interfaces", "--count", "--json", "PULSEWELL_COMMUNITY"}) {
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace pulsewell
