// The real `pulsewell watch` reading its community from a real keyring: the command loads
// the keyring module for this, and only for this.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "agent/simulator_agent.h"
#include "loaded_libraries.h"
#include "platform/keychain.h"
#include "program_run.h"
#include "tests/support/keyring_required.h"

namespace pulsewell::test {
namespace {

// What with-keyring.sh set up: the bus, the keyring's folders and a throwaway home.
std::map<std::string, std::string> keyringSession() {
  std::map<std::string, std::string> env = {{"LC_ALL", "C.UTF-8"}, {"LD_DEBUG", "files"}};
  for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                           "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "PATH"}) {
    if (const char* value = std::getenv(name)) env[name] = value;  // NOLINT(concurrency-mt-unsafe)
  }
  return env;
}

class TerminalKeyring : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_KEYRING();
    agent_.setInterface({.index = 1, .name = "lo", .inOctets = 1000, .outOctets = 500});
    ASSERT_TRUE(keychain_.write("velmar", applicationIdentifier));
  }
  void TearDown() override { keychain_.write("", applicationIdentifier); }

  ProgramResult watch(const std::map<std::string, std::string>& env) const {
    return runProgram(
        {PULSEWELL_PROGRAM, "watch", "--host", "127.0.0.1", "--port", std::to_string(agent_.port()),
         "--interface", "lo", "--json", "--count", "1"},
        env);
  }

  SimulatorAgent agent_{{.community = "velmar"}};
  Keychain keychain_;
};

TEST_F(TerminalKeyring, WatchReadsTheCommunityThroughTheKeyringModule) {
  const auto result = watch(keyringSession());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("status":"up")"), std::string::npos) << result.out;
  const auto loaded = loadedLibraries(result.err);
  EXPECT_TRUE(anyStartsWith(loaded, "pulsewell-keyring"));
  EXPECT_TRUE(anyStartsWith(loaded, "libsecret-1"));
  EXPECT_FALSE(anyStartsWith(loaded, "libQt6"));
}

TEST_F(TerminalKeyring, ACommunityFromTheEnvironmentLeavesTheKeyringUnloaded) {
  auto env = keyringSession();
  env["PULSEWELL_COMMUNITY"] = "velmar";
  const auto result = watch(env);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("status":"up")"), std::string::npos) << result.out;
  const auto loaded = loadedLibraries(result.err);
  ASSERT_TRUE(anyStartsWith(loaded, "libc.so")) << result.err;
  EXPECT_FALSE(anyStartsWith(loaded, "libsecret-1"));
}

}  // namespace
}  // namespace pulsewell::test
