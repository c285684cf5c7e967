#include "traffic/connection_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "traffic/port_text.h"

namespace pulsewell {
namespace {

struct ConnectionCase {
  const char* host;
  std::int64_t port;
  const char* community;
  std::optional<RouterConfigProblem> problem;
};

class CheckConnection : public testing::TestWithParam<ConnectionCase> {};

// The one set of rules behind the stored settings, the settings form and --host/--port:
// the first rule that fails is named, in the order host, community, port.
TEST_P(CheckConnection, NamesTheFirstRuleThatFails) {
  const ConnectionCase& c = GetParam();
  const auto checked = checkConnection(c.host, c.port, c.community);
  if (c.problem) {
    ASSERT_TRUE(std::holds_alternative<RouterConfigProblem>(checked));
    EXPECT_EQ(std::get<RouterConfigProblem>(checked), *c.problem);
  } else {
    ASSERT_TRUE(std::holds_alternative<RouterConnection>(checked));
    const auto& connection = std::get<RouterConnection>(checked);
    EXPECT_EQ(connection.host, "192.0.2.1") << "trimmed";
    EXPECT_EQ(connection.port, c.port);
    EXPECT_EQ(connection.community, c.community) << "kept with its blanks";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CheckConnection,
    testing::Values(ConnectionCase{" 192.0.2.1\t", 161, " public ", std::nullopt},
                    ConnectionCase{"192.0.2.1", 1, "p", std::nullopt},
                    ConnectionCase{"192.0.2.1", 65535, "p", std::nullopt},
                    ConnectionCase{"", 0, "", RouterConfigProblem::noHost},
                    ConnectionCase{" \t ", 161, "p", RouterConfigProblem::noHost},
                    ConnectionCase{"192.0.2 .1", 0, "", RouterConfigProblem::hostHasWhitespace},
                    ConnectionCase{"192.0.2.1", 0, "", RouterConfigProblem::noCommunity},
                    ConnectionCase{"192.0.2.1", 0, "p", RouterConfigProblem::portOutOfRange},
                    ConnectionCase{"192.0.2.1", -1, "p", RouterConfigProblem::portOutOfRange},
                    ConnectionCase{"192.0.2.1", 65536, "p", RouterConfigProblem::portOutOfRange}));

TEST(CheckConnectionParts, HostAndPortRulesAloneAgreeWithTheWhole) {
  EXPECT_EQ(hostProblem(" "), RouterConfigProblem::noHost);
  EXPECT_EQ(hostProblem("a b"), RouterConfigProblem::hostHasWhitespace);
  EXPECT_EQ(hostProblem(" router "), std::nullopt);
  EXPECT_FALSE(isUsablePort(portNumber("0")));
  EXPECT_TRUE(isUsablePort(portNumber("+0000008161")));
  EXPECT_FALSE(isUsablePort(portNumber("161abc")));
}

}  // namespace
}  // namespace pulsewell
