// The real `pulsewell watch` with its community in a real gnome-keyring (run through
// scripts/with-keyring.sh on a private bus), against the simulator agent on 127.0.0.1.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <string>

#include "agent/simulator_agent.h"
#include "keyring_test_support.h"
#include "platform/keychain.h"
#include "program_run.h"
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

TEST(TerminalWithKeyring, CtrlCLogoutAndTerminationEndWatchCleanly) {
  REQUIRE_KEYRING();
  SimulatorAgent agent{{.community = "velmar"}};
  agent.setInterface({.index = 1, .name = "lo", .inOctets = 1000, .outOctets = 500});
  Keychain keychain;
  ASSERT_TRUE(keychain.write("velmar", applicationIdentifier));

  // A signal reaches one thread of the process that does not block it, so each is sent
  // a few times: any thread left unblocked would end the program by it sooner or later.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGINT, SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    StartedProgram watch({PULSEWELL_PROGRAM, "watch", "--host", "127.0.0.1", "--port",
                          std::to_string(agent.port()), "--interface", "lo", "--interval", "0.05"},
                         sessionEnvironment());
    // A printed sample: the community came from the keyring, whose threads now run.
    ASSERT_TRUE(watch.waitForOutput(
        [](const std::string& out) { return out.find("Connected") != std::string::npos; }, 20s));
    watch.signal(signal);
    const ProgramResult result = watch.finish(20s);
    EXPECT_EQ(result.signal, 0) << "ended by the signal instead of quitting";
    EXPECT_EQ(result.exitCode, 0) << result.err;
  }
  EXPECT_TRUE(keychain.write("", applicationIdentifier));
}

}  // namespace
}  // namespace pulsewell::test
