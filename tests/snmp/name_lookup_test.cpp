// Host names through the system's real resolver, in a name service of the test's own:
// `localhost` with an IPv6 and an IPv4 address, and a name server that never answers.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "agent/simulator_agent.h"
#include "snmp/snmp_client.h"
#include "snmp/snmp_error.h"
#include "snmp/snmp_link.h"
#include "tests/support/peer_client.h"
#include "tests/support/private_name_service.h"
#include "tests/support/udp_peer.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;

// Registered before main, the way GoogleTest offers for a test file of its own.
// NOLINTNEXTLINE(cert-err58-cpp): nothing to catch a failure this early; it ends the test
const auto* const nameService = testing::AddGlobalTestEnvironment(new test::PrivateNameService);

OID firstName() {
  return {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1, 1};
}

SNMPError::Kind failureOf(SNMPLink& link, const std::string& host, double timeout) {
  const Bytes request{0x30, 0x00};
  try {
    link.exchange(request, host, 161, timeout);
  } catch (const SNMPError& error) {
    return error.kind();
  }
  ADD_FAILURE() << "the exchange did not fail";
  return SNMPError::Kind::agent;
}

std::size_t threadCount() {
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// `localhost` stands for ::1 and 127.0.0.1; the agent listens on one of them, and on the
// other a socket takes requests without answering, or nothing listens at all.
struct FamilyCase {
  const char* name;
  const char* agentAddress;
  const char* otherAddress;
  bool otherSilent;
};

void PrintTo(const FamilyCase& c, std::ostream* out) {
  *out << c.name;
}

class HostWithBothFamilies : public test::PrivateNameServiceTest,
                             public testing::WithParamInterface<FamilyCase> {};

TEST_P(HostWithBothFamilies, TheAddressThatAnswersCarriesTheExchanges) {
  std::optional<test::UdpPeer> silent;
  if (GetParam().otherSilent) silent.emplace(GetParam().otherAddress);
  SimulatorAgent agent(
      {.bindAddress = GetParam().agentAddress, .port = silent ? silent->port() : std::uint16_t{0}});
  agent.setInterface({.index = 1, .name = "lo", .inOctets = 0, .outOctets = 0});

  const SNMPClient client = test::peerClient("localhost", agent.port(), agent.community());
  for (int i = 0; i < 3; ++i) {
    const auto bindings = client.get({firstName()});
    ASSERT_EQ(bindings.size(), 1U);
    EXPECT_EQ(bindings[0].value, SNMPValue::bytes("lo"));
  }
  EXPECT_EQ(agent.requestCount(), 3U);
  if (silent) {
    // Asked together with the agent at first, then left alone.
    EXPECT_TRUE(silent->receive(5000ms));
    EXPECT_FALSE(silent->receive(0ms));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Localhost, HostWithBothFamilies,
    testing::Values(FamilyCase{"agentOnIPv4NothingOnIPv6", "127.0.0.1", "::1", false},
                    FamilyCase{"agentOnIPv4SilenceOnIPv6", "127.0.0.1", "::1", true},
                    FamilyCase{"agentOnIPv6NothingOnIPv4", "::1", "127.0.0.1", false},
                    FamilyCase{"agentOnIPv6SilenceOnIPv4", "::1", "127.0.0.1", true}),
    [](const testing::TestParamInfo<FamilyCase>& p) { return p.param.name; });

using UnansweredName = test::PrivateNameServiceTest;

TEST_F(UnansweredName, LookupThatOutlastsTheTimeoutIsATimeout) {
  SNMPLink link;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(failureOf(link, test::PrivateNameService::unansweredName, 0.2),
            SNMPError::Kind::timeout);
  // The resolver itself would wait 10 s; the bound leaves room for a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_GT(test::PrivateNameService::takeQueries(), 0U) << "the name server was asked";
}

TEST_F(UnansweredName, ExchangesThatTimeOutOneAfterAnotherWaitOnOneLookup) {
  SNMPLink link;
  EXPECT_EQ(failureOf(link, test::PrivateNameService::unansweredName, 0.05),
            SNMPError::Kind::timeout);
  // The first lookup's thread is counted (and any a sanitizer starts with it).
  const std::size_t threads = threadCount();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(failureOf(link, test::PrivateNameService::unansweredName, 0.05),
              SNMPError::Kind::timeout);
  }
  EXPECT_EQ(threadCount(), threads);
}

}  // namespace
}  // namespace pulsewell
