// The pulsewell-agent program as scripts use it: started with --port-file, asked over
// UDP, stopped with a signal.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "snmp/if_mib.h"
#include "snmp/snmp_client.h"
#include "tests/support/peer_client.h"
#include "tests/support/program_run.h"
#include "tests/support/temporary_folder.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> agentCommand(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), PULSEWELL_AGENT_PROGRAM);
  return arguments;
}

class AgentProgramTest : public testing::Test {
 protected:
  // The port the program wrote, once it has.
  std::optional<std::uint16_t> waitForPort(StartedProgram& program) const {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < until && !program.ended()) {
      std::ifstream in(folder.path() / "port");
      unsigned port = 0;
      if (in >> port) return static_cast<std::uint16_t>(port);
      program.waitForOutput([](const std::string&) { return false; }, 10ms);
    }
    return std::nullopt;
  }

  test::TemporaryFolder folder;
};

TEST_F(AgentProgramTest, ServesATableFileUntilTerminated) {
  std::ofstream(folder.path() / "table.txt") << "# one router interface\n"
                                                "1.3.6.1.2.1.31.1.1.1.1.3 string wan\n"
                                                "1.3.6.1.2.1.31.1.1.1.6.3 counter64 123456789012\n";
  StartedProgram program(
      agentCommand({"--table", (folder.path() / "table.txt").string(), "--community", "velmar",
                    "--port-file", (folder.path() / "port").string()}),
      currentEnvironment());
  const auto port = waitForPort(program);
  ASSERT_TRUE(port.has_value());

  const SNMPClient client = test::peerClient("127.0.0.1", *port, "velmar");
  const auto bindings =
      client.get({IfMib::instance(IfMib::ifName(), 3), IfMib::instance(IfMib::ifHCInOctets(), 3)});
  ASSERT_EQ(bindings.size(), 2U);
  EXPECT_EQ(bindings[0].value, SNMPValue::bytes("wan"));
  EXPECT_EQ(bindings[1].value, SNMPValue::unsignedInteger(123456789012ULL));

  program.signal(SIGTERM);
  EXPECT_EQ(program.finish(5s).exitCode, 0);
}

TEST_F(AgentProgramTest, ServesThisMachineLiveAndStopsOnInterrupt) {
  StartedProgram program(agentCommand({"--live", "--port-file", (folder.path() / "port").string()}),
                         currentEnvironment());
  const auto port = waitForPort(program);
  ASSERT_TRUE(port.has_value());

  const SNMPClient client = test::peerClient("127.0.0.1", *port, "public");
  const auto names = client.walk(IfMib::ifName(), SNMPClient::walkLimit);
  EXPECT_TRUE(std::any_of(names.begin(), names.end(), [](const SNMPVarBind& row) {
    return row.value == SNMPValue::bytes("lo");
  }));

  program.signal(SIGINT);
  EXPECT_EQ(program.finish(5s).exitCode, 0);
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
  EXPECT_EQ(runProgram(agentCommand(GetParam().arguments), currentEnvironment(), 5s).exitCode,
            GetParam().status);
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
