// The pulsewell-agent program as scripts use it: started with --port-file, asked over
// UDP, stopped with a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "snmp/if_mib.h"
#include "snmp/snmp_client.h"
#include "tests/support/peer_client.h"
#include "tests/support/temporary_folder.h"

extern char** environ;

namespace pulsewell {
namespace {

using namespace std::chrono_literals;

class AgentProgram {
 public:
  explicit AgentProgram(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), PULSEWELL_AGENT_PROGRAM);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // What the program prints is checked by its exit status; keep the test output clean.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~AgentProgram() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  AgentProgram(const AgentProgram&) = delete;
  AgentProgram& operator=(const AgentProgram&) = delete;

  bool started() const { return pid_ > 0; }
  void signal(int number) const { kill(pid_, number); }

  // The exit status once it has exited within `limit`, else none.
  std::optional<int> exitStatus(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

class AgentProgramTest : public testing::Test {
 protected:
  // The port the program wrote, once it has.
  std::optional<std::uint16_t> waitForPort(AgentProgram& program) const {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < until) {
      std::ifstream in(folder.path() / "port");
      unsigned port = 0;
      if (in >> port) return static_cast<std::uint16_t>(port);
      if (program.exitStatus(10ms)) return std::nullopt;
    }
    return std::nullopt;
  }

  test::TemporaryFolder folder;
};

TEST_F(AgentProgramTest, ServesATableFileUntilTerminated) {
  std::ofstream(folder.path() / "table.txt") << "# one router interface\n"
                                                "1.3.6.1.2.1.31.1.1.1.1.3 string wan\n"
                                                "1.3.6.1.2.1.31.1.1.1.6.3 counter64 123456789012\n";
  AgentProgram program({"--table", (folder.path() / "table.txt").string(), "--community", "velmar",
                        "--port-file", (folder.path() / "port").string()});
  ASSERT_TRUE(program.started());
  const auto port = waitForPort(program);
  ASSERT_TRUE(port.has_value());

  const SNMPClient client = test::peerClient("127.0.0.1", *port, "velmar");
  const auto bindings =
      client.get({IfMib::instance(IfMib::ifName(), 3), IfMib::instance(IfMib::ifHCInOctets(), 3)});
  ASSERT_EQ(bindings.size(), 2U);
  EXPECT_EQ(bindings[0].value, SNMPValue::bytes("wan"));
  EXPECT_EQ(bindings[1].value, SNMPValue::unsignedInteger(123456789012ULL));

  program.signal(SIGTERM);
  EXPECT_EQ(program.exitStatus(5s), 0);
}

TEST_F(AgentProgramTest, ServesThisMachineLiveAndStopsOnInterrupt) {
  AgentProgram program({"--live", "--port-file", (folder.path() / "port").string()});
  ASSERT_TRUE(program.started());
  const auto port = waitForPort(program);
  ASSERT_TRUE(port.has_value());

  const SNMPClient client = test::peerClient("127.0.0.1", *port, "public");
  const auto names = client.walk(IfMib::ifName(), SNMPClient::walkLimit);
  EXPECT_TRUE(std::any_of(names.begin(), names.end(), [](const SNMPVarBind& row) {
    return row.value == SNMPValue::bytes("lo");
  }));

  program.signal(SIGINT);
  EXPECT_EQ(program.exitStatus(5s), 0);
}

struct RefusalCase {
  std::string name;
  std::vector<std::string> arguments;
  int status;
};

// The case as its test name shows it.
void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.name;
}

class AgentProgramRefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(AgentProgramRefusalTest, ExitsWithoutListening) {
  AgentProgram program(GetParam().arguments);
  ASSERT_TRUE(program.started());
  EXPECT_EQ(program.exitStatus(5s), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, AgentProgramRefusalTest,
    testing::Values(RefusalCase{"Help", {"--help"}, 0},
                    RefusalCase{"UnknownOption", {"--verbose"}, 2},
                    RefusalCase{"NotLoopback", {"--bind", "0.0.0.0"}, 1},
                    RefusalCase{"MissingTable", {"--table", "/nonexistent/table.txt"}, 1}),
    [](const testing::TestParamInfo<RefusalCase>& testCase) { return testCase.param.name; });

}  // namespace
}  // namespace pulsewell
