// The real `pulsewell watch` with its community in a real gnome-keyring (run through
// scripts/with-keyring.sh on a private bus), against the simulator agent on 127.0.0.1. The
// command loads the keyring module for this, and only for this.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "agent/simulator_agent.h"
#include "loaded_libraries.h"
#include "platform/keychain.h"
#include "program_run.h"
#include "tests/support/keyring_test_support.h"
#include "traffic/application_identifier.h"

namespace pulsewell::test {
namespace {

using namespace std::chrono_literals;

// What the program needs of the session that with-keyring.sh set up.
std::map<std::string, std::string> sessionEnvironment() {
  std::map<std::string, std::string> environment = {{"LC_ALL", "C.UTF-8"},
                                                    {"PATH", "/usr/bin:/bin"}};
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                           "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"}) {
    if (const char* value = std::getenv(name)) {  // NOLINT(concurrency-mt-unsafe): one thread
      environment[name] = value;
    }
  }
  return environment;
}

class TerminalWithKeyring : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_KEYRING();
    agent_.setInterface({.index = 1, .name = "lo", .inOctets = 1000, .outOctets = 500});
    ASSERT_TRUE(keychain_.write("velmar", applicationIdentifier));
  }
  void TearDown() override { keychain_.write("", applicationIdentifier); }

  std::vector<std::string> watch(const std::vector<std::string>& options) const {
    std::vector<std::string> command = {PULSEWELL_PROGRAM, "watch",  "--host",
                                        "127.0.0.1",       "--port", std::to_string(agent_.port()),
                                        "--interface",     "lo"};
    command.insert(command.end(), options.begin(), options.end());
    return command;
  }

  SimulatorAgent agent_{{.community = "velmar"}};
  Keychain keychain_;
};

TEST_F(TerminalWithKeyring, WatchReadsTheCommunityThroughTheKeyringModuleAlone) {
  auto environment = sessionEnvironment();
  environment["LD_DEBUG"] = "files";
  const auto result = runProgram(watch({"--json", "--count", "1"}), environment);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("status":"up")"), std::string::npos) << result.out;
  const auto loaded = loadedLibraries(result.err);
  EXPECT_TRUE(anyStartsWith(loaded, "pulsewell-keyring"));
  EXPECT_TRUE(anyStartsWith(loaded, "libsecret-1"));
  EXPECT_FALSE(anyStartsWith(loaded, "libQt6"));
}

TEST_F(TerminalWithKeyring, ACommunityFromTheEnvironmentLeavesTheKeyringUnloaded) {
  auto environment = sessionEnvironment();
  environment["LD_DEBUG"] = "files";
  environment["PULSEWELL_COMMUNITY"] = "velmar";
  const auto result = runProgram(watch({"--json", "--count", "1"}), environment);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("status":"up")"), std::string::npos) << result.out;
  const auto loaded = loadedLibraries(result.err);
  ASSERT_TRUE(anyStartsWith(loaded, "libc.so")) << result.err;
  EXPECT_FALSE(anyStartsWith(loaded, "libsecret-1"));
}

TEST_F(TerminalWithKeyring, CtrlCLogoutAndTerminationEndWatchCleanly) {
  // A signal reaches one thread of the process that does not block it, so each is sent
  // a few times: any thread left unblocked would end the program by it sooner or later.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGINT, SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    StartedProgram program(watch({"--interval", "0.05"}), sessionEnvironment());
    // A printed sample: the community came from the keyring, whose threads now run.
    ASSERT_TRUE(program.waitForOutput(
        [](const std::string& out) { return out.find("Connected") != std::string::npos; }, 20s));
    program.signal(signal);
    const ProgramResult result = program.finish(20s);
    EXPECT_EQ(result.signal, 0) << "ended by the signal instead of quitting";
    EXPECT_EQ(result.exitCode, 0) << result.err;
  }
}

}  // namespace
}  // namespace pulsewell::test
