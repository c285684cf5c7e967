// The real pulsewell program in its terminal mode, against the simulator agent over
// 127.0.0.1, with a settings folder of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "agent/simulator_agent.h"
#include "loaded_libraries.h"
#include "program_run.h"
#include "snmp/if_mib.h"
#include "tests/support/ci.h"
#include "tests/support/recorded_device.h"
#include "tests/support/snmpd_test.h"
#include "tests/support/snmpsim_peer.h"
#include "tests/support/temporary_folder.h"
#include "udp_peer.h"

namespace pulsewell::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    out.push_back(line);
  return out;
}

class TerminalProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    agent_.setInterface({.index = 1, .name = "lo", .inOctets = 1000, .outOctets = 500});
    agent_.setInterface(
        {.index = 2, .name = "eth0", .inOctets = 0, .outOctets = 0, .operStatus = 2});
    fs::create_directories(config_ / "pulsewell");
  }

  void storeSettings(const std::string& json) const {
    std::ofstream(config_ / "pulsewell" / "settings.json") << json;
  }

  std::map<std::string, std::string> environment(bool withCommunity = true) const {
    std::map<std::string, std::string> env = {
        {"HOME", home_.string()},           {"XDG_CONFIG_HOME", config_.string()},
        {"PULSEWELL_SECRET_STORE", "file"}, {"LC_ALL", "C.UTF-8"},
        {"PATH", "/usr/bin:/bin"},
    };
    if (withCommunity) env["PULSEWELL_COMMUNITY"] = "velmar";
    return env;
  }

  ProgramResult run(std::vector<std::string> arguments, bool withCommunity = true) const {
    arguments.insert(arguments.begin(), PULSEWELL_PROGRAM);
    return runProgram(arguments, environment(withCommunity));
  }

  std::string port() const { return std::to_string(agent_.port()); }

  SimulatorAgent agent_{{.community = "velmar"}};
  test::TemporaryFolder folder_;
  fs::path home_ = folder_.path();
  fs::path config_ = home_ / "config";
};

TEST_F(TerminalProgram, WatchPrintsOneJsonObjectPerSampleAndStops) {
  // Counters grow with every answer, so the second and third samples have rates.
  std::uint64_t in = 1000;
  agent_.setSource([&, table = agent_.table()]() mutable {
    in += 4000;
    table.setInterface({.index = 1, .name = "lo", .inOctets = in, .outOctets = in / 2});
    return table;
  });
  const auto result = run({"watch", "--host", "127.0.0.1", "--port", port(), "--interface", "lo",
                           "--json", "--count", "3", "--interval", "0.05"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto samples = lines(result.out);
  ASSERT_EQ(samples.size(), 3U) << result.out;
  EXPECT_NE(samples[0].find(R"("status":"up")"), std::string::npos) << samples[0];
  EXPECT_NE(samples[0].find(R"("downBytesPerSec":null)"), std::string::npos) << samples[0];
  EXPECT_NE(samples[2].find(R"("downBytesPerSec":)"), std::string::npos);
  EXPECT_EQ(samples[2].find(R"("downBytesPerSec":null)"), std::string::npos) << samples[2];
  EXPECT_EQ(samples[2].find(R"("totalDown":0,)"), std::string::npos) << samples[2];
}

TEST_F(TerminalProgram, PipedWatchPrintsPlainLinesFromStoredSettings) {
  storeSettings(R"({"routerHost": "127.0.0.1", "routerPort": )" + port() +
                R"(, "routerInterface": "eth0"})");
  const auto result = run({"watch", "--count", "2", "--interval", "0.05"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto printed = lines(result.out);
  ASSERT_EQ(printed.size(), 2U) << result.out;
  EXPECT_EQ(printed[0], "Interface is down  ↑ —  ↓ —  Total: ↓ 0 B  ↑ 0 B");
}

TEST_F(TerminalProgram, ErrorsBecomeStatusLinesAndPollingGoesOn) {
  const auto result = run({"watch", "--host", "127.0.0.1", "--port", port(), "--interface", "wan",
                           "--count", "2", "--interval", "0.05"});
  EXPECT_EQ(result.exitCode, 5) << result.err;
  EXPECT_EQ(lines(result.out),
            (std::vector<std::string>{"Interface not found  ↑ —  ↓ —  Total: ↓ 0 B  ↑ 0 B",
                                      "Interface not found  ↑ —  ↓ —  Total: ↓ 0 B  ↑ 0 B"}));
}

TEST_F(TerminalProgram, WithoutUsableSettingsItSaysWhatIsMissing) {
  auto result = run({"watch"});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_NE(result.err.find("No device address"), std::string::npos) << result.err;
  EXPECT_TRUE(result.out.empty());

  result = run({"watch", "--host", "127.0.0.1"}, false);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_NE(result.err.find("No community"), std::string::npos) << result.err;

  result = run({"watch", "--host", "127.0.0.1", "--port", port()});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_NE(result.err.find("No interface chosen"), std::string::npos) << result.err;
}

TEST_F(TerminalProgram, UnreadableStoredSettingsAreNamedAsTheProblem) {
  const auto folder = config_ / "pulsewell";
  const auto file = folder / "settings.json";
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"the settings file is a folder", [&] { fs::create_directories(file); },
       file.string() + " is a folder"},
      {"the settings folder is a file", [&] { std::ofstream(folder) << "{}"; },
       folder.string() + " is not a folder"},
      {"the settings file is a pipe",
       [&] {
         fs::create_directories(folder);
         ::mkfifo(file.c_str(), 0600);
       },
       file.string() + " is not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder);
    c.arrange();
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"watch"},
          std::vector<std::string>{"watch", "--host", "127.0.0.1", "--port", port()}}) {
      const auto result = run(arguments);
      EXPECT_EQ(result.exitCode, 3);
      EXPECT_EQ(result.err, "pulsewell: The stored settings cannot be read: " + c.reason + ".\n");
    }
  }
}

TEST_F(TerminalProgram, InterfacesListsUpStateCountersAndMarksTheChosenOne) {
  storeSettings(R"({"routerInterface": "eth0"})");
  agent_.setInterface({.index = 7, .name = "ppp0", .hasHighCapacityCounters = false});
  const auto result = run({"interfaces", "--host", "127.0.0.1", "--port", port()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "● lo    64-bit counters\n"
            "○ eth0  64-bit counters  ✓\n"
            "● ppp0  32-bit counters\n");
}

TEST_F(TerminalProgram, InterfaceNamesCannotDriveTheTerminalNorReorderTheLine) {
  agent_.setInterface(
      {.index = 1, .name = "\x1b]0;owned\x07wan\u202Eltr\u2066", .inOctets = 0, .outOctets = 0});
  const auto result = run({"interfaces", "--host", "127.0.0.1", "--port", port()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "● \uFFFD]0;owned\uFFFDwan\uFFFDltr\uFFFD  64-bit counters\n"
            "○ eth0" +
                std::string(16, ' ') + "64-bit counters\n");
}

TEST_F(TerminalProgram, TakesAnIPv6AddressInBracketsAsUsersTypeIt) {
  SimulatorAgent agent({.bindAddress = "::1", .community = "velmar"});
  agent.setInterface({.index = 1, .name = "lo", .inOctets = 0, .outOctets = 0});
  const auto result =
      run({"interfaces", "--host", "[::1]", "--port", std::to_string(agent.port())});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "● lo  64-bit counters\n");
}

TEST_F(TerminalProgram, InterfacesReportsAFailureAsItsStatus) {
  // Nothing listens there: the refusal comes back at once.
  const auto result =
      run({"interfaces", "--host", "127.0.0.1", "--port", std::to_string(test::unusedUdpPort())});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(result.err, "pulsewell: Device unreachable\n");
}

// What a script relies on: the exit status tells what happened, and standard output carries
// data only, so it is empty whenever there is none.
TEST_F(TerminalProgram, ExitStatusTellsScriptsWhatHappened) {
  // A row the agent gives no octet counters for at all.
  agent_.setInterface({.index = 3, .name = "old0", .hasHighCapacityCounters = false});
  agent_.remove(IfMib::instance(IfMib::ifInOctets(), 3));
  agent_.remove(IfMib::instance(IfMib::ifOutOctets(), 3));
  const std::string unused = std::to_string(test::unusedUdpPort());
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    bool data;  // output on stdout and nothing on stderr, else the reverse
  };
  const auto watching = [](const std::string& port, const std::string& interface) {
    return std::vector<std::string>{"watch",       "--host",  "127.0.0.1", "--port", port,
                                    "--interface", interface, "--count",   "1"};
  };
  const std::vector<Case> cases = {
      {watching(port(), "lo"), 0, true},
      {watching(port(), "eth0"), 0, true},  // a down interface is a reading too
      {watching(port(), "wan"), 5, true},
      {watching(port(), "old0"), 5, true},
      {watching(unused, "lo"), 4, true},
      {{"interfaces", "--host", "127.0.0.1", "--port", port()}, 0, true},
      {{"interfaces", "--host", "127.0.0.1", "--port", unused}, 4, false},
      {{"watch", "--host", "127.0.0.1", "--port", port()}, 3, false},
      {{"interfaces"}, 3, false},
      {{"watch", "--port", "0"}, 2, false},
      {{"interfaces", "--host", "router one"}, 2, false},
      {{"sing"}, 2, false},
      {{"--status"}, 1, false},
  };
  for (const auto& [arguments, exitCode, data] : cases) {
    const auto result = run(arguments);
    const std::string shown = arguments.front() + " " + arguments.back();
    EXPECT_EQ(result.exitCode, exitCode) << shown << ": " << result.err;
    EXPECT_EQ(result.out.empty(), !data) << shown << ": " << result.out;
    EXPECT_EQ(result.err.empty(), data) << shown << ": " << result.err;
  }
}

// The schema pulsewell(1) documents: every line one object with exactly these members, of
// these types, whatever the status.
TEST_F(TerminalProgram, JsonLinesKeepTheirSchemaInEveryStatus) {
  const std::set<std::string> members = {"status",        "statusText", "downBytesPerSec",
                                         "upBytesPerSec", "totalDown",  "totalUp",
                                         "counterBits"};
  const std::set<std::string> statuses = {
      "up",     "down",         "noReply",           "unreachable",
      "denied", "invalidReply", "interfaceNotFound", "noCounters"};
  std::uint64_t in = 1000;
  agent_.setSource([&, table = agent_.table()]() mutable {
    in += 4000;
    table.setInterface({.index = 1, .name = "lo", .inOctets = in, .outOctets = in / 2});
    return table;
  });
  const std::string unused = std::to_string(test::unusedUdpPort());
  std::set<std::string> seen;
  for (const auto& [interface, agentPort] : std::vector<std::pair<std::string, std::string>>{
           {"lo", port()}, {"eth0", port()}, {"wan", port()}, {"lo", unused}}) {
    const auto result = run({"watch", "--host", "127.0.0.1", "--port", agentPort, "--interface",
                             interface, "--json", "--count", "2", "--interval", "0.05"});
    const auto samples = lines(result.out);
    ASSERT_EQ(samples.size(), 2U) << result.out << result.err;
    for (const auto& line : samples) {
      const auto object = nlohmann::json::parse(line, nullptr, false);
      ASSERT_TRUE(object.is_object()) << line;
      std::set<std::string> keys;
      for (const auto& [key, value] : object.items())
        keys.insert(key);
      EXPECT_EQ(keys, members) << line;
      ASSERT_TRUE(object["status"].is_string()) << line;
      EXPECT_TRUE(statuses.contains(object["status"].get<std::string>())) << line;
      EXPECT_TRUE(object["statusText"].is_string()) << line;
      for (const auto* rate : {"downBytesPerSec", "upBytesPerSec"}) {
        const auto& value = object[rate];
        EXPECT_TRUE(value.is_null() || (value.is_number() && value.get<double>() >= 0)) << line;
      }
      EXPECT_TRUE(object["totalDown"].is_number_unsigned()) << line;
      EXPECT_TRUE(object["totalUp"].is_number_unsigned()) << line;
      const auto& bits = object["counterBits"];
      EXPECT_TRUE(bits.is_null() || bits == 64 || bits == 32) << line;
      seen.insert(object["status"].get<std::string>());
    }
  }
  EXPECT_EQ(seen, (std::set<std::string>{"up", "down", "interfaceNotFound", "unreachable"}));
}

TEST_F(TerminalProgram, HelpVersionAndBadOptions) {
  auto result = run({"--version"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.rfind("pulsewell ", 0), 0U) << result.out;

  result = run({"--help"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("Usage: pulsewell"), std::string::npos);

  result = run({"watch", "--community", "secret"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("never taken from the command line"), std::string::npos);
}

TEST_F(TerminalProgram, GermanWhenTheLanguageSaysSo) {
  auto env = environment();
  env["LANGUAGE"] = "de:en";
  env["LANG"] = "de_DE.UTF-8";
  env.erase("LC_ALL");
  const auto result = runProgram({PULSEWELL_PROGRAM, "watch", "--host", "127.0.0.1", "--port",
                                  port(), "--interface", "eth0", "--count", "1"},
                                 env);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "Schnittstelle ist getrennt  ↑ —  ↓ —  Summe: ↓ 0 B  ↑ 0 B\n");
}

// The terminal commands start without the desktop's libraries: Qt, and GLib with it, belong
// to the desktop program alone, and libsecret with GLib is loaded only to read the keyring.
TEST_F(TerminalProgram, TerminalCommandsLoadNoDesktopLibraries) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::map<std::string, std::optional<std::string>> environment;
    bool readsKeyring;
  };
  const std::vector<std::string> watch = {"watch",       "--host", "127.0.0.1", "--port", port(),
                                          "--interface", "lo",     "--count",   "1"};
  const std::vector<std::string> interfaces = {"interfaces", "--host", "127.0.0.1", "--port",
                                               port()};
  // A bus that is not there: the keyring cannot be reached, and the file stands in.
  const std::string noBus = "unix:path=" + (home_ / "no-bus").string();
  const std::vector<Case> cases = {
      {"version", {"--version"}, {}, false},
      {"help", {"--help"}, {}, false},
      {"watch, community from the environment", watch, {}, false},
      {"interfaces, community from the environment", interfaces, {}, false},
      {"watch, community from the file", watch, {{"PULSEWELL_COMMUNITY", std::nullopt}}, false},
      {"watch, community from the keyring",
       watch,
       {{"PULSEWELL_COMMUNITY", std::nullopt},
        {"PULSEWELL_SECRET_STORE", std::nullopt},
        {"DBUS_SESSION_BUS_ADDRESS", noBus}},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto env = environment();
    env["LD_DEBUG"] = "files";
    for (const auto& [name, value] : c.environment) {
      if (value) {
        env[name] = *value;
      } else {
        env.erase(name);
      }
    }
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.begin(), PULSEWELL_PROGRAM);
    const auto result = runProgram(arguments, env);
    const auto loaded = loadedLibraries(result.err);
    // The loader's report is there: the C library is always loaded.
    ASSERT_TRUE(anyStartsWith(loaded, "libc.so")) << result.err;
    EXPECT_FALSE(anyStartsWith(loaded, "libQt6"));
    for (const char* keyring :
         {"pulsewell-keyring", "libsecret-1", "libgio-2.0", "libgobject-2.0", "libglib-2.0"}) {
      EXPECT_EQ(anyStartsWith(loaded, keyring), c.readsKeyring) << keyring;
    }
  }
}

// The same program against net-snmp's agent, with this machine's own interfaces.
class TerminalProgramAgainstSnmpd : public SnmpdTest {
 protected:
  ProgramResult run(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), PULSEWELL_PROGRAM);
    arguments.insert(arguments.end(), {"--host", std::string(SnmpdPeer::host), "--port",
                                       std::to_string(snmpd->port())});
    const auto& home = home_.path();
    return runProgram(arguments, {{"HOME", home.string()},
                                  {"XDG_CONFIG_HOME", (home / "config").string()},
                                  {"PULSEWELL_SECRET_STORE", "file"},
                                  {"PULSEWELL_COMMUNITY", std::string(SnmpdPeer::community)},
                                  {"LC_ALL", "C.UTF-8"}});
  }

  test::TemporaryFolder home_;
};

TEST_F(TerminalProgramAgainstSnmpd, ListsThisMachinesLoopback) {
  const auto result = run({"interfaces"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto listed = lines(result.out);
  EXPECT_TRUE(std::ranges::any_of(listed, [](const std::string& line) {
    return line.starts_with("● lo ") && line.ends_with(" 64-bit counters");
  })) << result.out;
}

TEST_F(TerminalProgramAgainstSnmpd, WatchesTheLoopbacksCounters) {
  const auto result =
      run({"watch", "--interface", "lo", "--json", "--count", "2", "--interval", "0.05"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto samples = lines(result.out);
  ASSERT_EQ(samples.size(), 2U) << result.out;
  EXPECT_NE(samples[1].find(R"("status":"up")"), std::string::npos) << samples[1];
  EXPECT_EQ(samples[1].find(R"("downBytesPerSec":null)"), std::string::npos) << samples[1];
}

// The program against recordings of real devices' agents, served by snmpsim in real time
// with the watched row's counters growing at known rates.
class TerminalProgramAgainstRecordedDevice : public testing::TestWithParam<RecordedDevice> {
 protected:
  void SetUp() override {
    if (const auto missing = SnmpsimPeer::missing()) {
      if (runningInCI()) FAIL() << *missing;
      GTEST_SKIP() << *missing;
    }
    const auto& device = GetParam();
    served = withTraffic(recording(device.recording), device.index);
    agent = std::make_unique<SnmpsimPeer>(
        std::map<std::string, std::string>{{device.recording, served}}, SnmpsimPeer::Clock::real);
  }

  ProgramResult run(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), PULSEWELL_PROGRAM);
    arguments.insert(arguments.end(), {"--host", std::string(SnmpsimPeer::host), "--port",
                                       std::to_string(agent->port())});
    const auto& home = home_.path();
    return runProgram(arguments, {{"HOME", home.string()},
                                  {"XDG_CONFIG_HOME", (home / "config").string()},
                                  {"PULSEWELL_SECRET_STORE", "file"},
                                  {"PULSEWELL_COMMUNITY", GetParam().recording},
                                  {"LC_ALL", "C.UTF-8"}});
  }

  std::string served;
  std::unique_ptr<SnmpsimPeer> agent;
  TemporaryFolder home_;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

TEST_P(TerminalProgramAgainstRecordedDevice, ListsEveryNamedRowAndWatchesTheRatesTheAgentSets) {
  const auto& device = GetParam();
  const auto listing = run({"interfaces"});
  ASSERT_EQ(listing.exitCode, 0) << listing.err;
  const auto listed = lines(listing.out);
  const auto expected = namedRows(served);
  ASSERT_EQ(listed.size(), expected.size()) << listing.out;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].substr(listed[i].find(' ') + 1, expected[i].second.size()),
              expected[i].second);
  }

  // Rates over a quarter of a second each: the middle ones, against the real clock's jitter.
  const auto watched =
      run({"watch", "--interface", device.name, "--json", "--count", "5", "--interval", "0.25"});
  ASSERT_EQ(watched.exitCode, 0) << watched.err;
  std::vector<double> down;
  std::vector<double> up;
  for (const auto& line : lines(watched.out)) {
    const auto sample = nlohmann::json::parse(line);
    EXPECT_EQ(sample["status"], "up") << line;
    EXPECT_EQ(sample["counterBits"], device.counters == CounterWidth::bits64 ? 64 : 32) << line;
    if (sample["downBytesPerSec"].is_null()) continue;
    down.push_back(sample["downBytesPerSec"].get<double>());
    up.push_back(sample["upBytesPerSec"].get<double>());
  }
  ASSERT_GE(down.size(), 3U) << watched.out;
  EXPECT_NEAR(median(down), recordedDownRate, recordedDownRate / 100) << watched.out;
  EXPECT_NEAR(median(up), recordedUpRate, recordedUpRate / 100) << watched.out;
}

INSTANTIATE_TEST_SUITE_P(Recordings, TerminalProgramAgainstRecordedDevice,
                         testing::ValuesIn(recordedDevices()),
                         [](const testing::TestParamInfo<RecordedDevice>& p) {
                           return p.param.label;
                         });

}  // namespace
}  // namespace pulsewell::test
