// Pulsewell's client and the simulator agent against net-snmp's snmpd on this machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "agent/live_interface_source.h"
#include "agent/simulator_agent.h"
#include "snmp/snmp_client.h"
#include "tests/support/snmpd_test.h"

namespace pulsewell {
namespace {

const OID ifName = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1};
const OID ifHCInOctets = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6};
const OID ifHCOutOctets = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 10};
const OID ifOperStatus = {1, 3, 6, 1, 2, 1, 2, 2, 1, 8};

OID at(const OID& column, std::uint32_t index) {
  OID oid = column;
  oid.push_back(index);
  return oid;
}

std::string text(const SNMPValue& value) {
  const Bytes* bytes = value.asBytes();
  return bytes == nullptr ? std::string() : std::string(bytes->begin(), bytes->end());
}

// Index to name, from a walk of ifName.
std::map<std::uint32_t, std::string> names(const SNMPClient& client) {
  std::map<std::uint32_t, std::string> result;
  for (const SNMPVarBind& row : client.walk(ifName, SNMPClient::walkLimit)) {
    result[row.oid.back()] = text(row.value);
  }
  return result;
}

// Index to ifOperStatus, from a walk.
std::map<std::uint32_t, std::int64_t> states(const SNMPClient& client) {
  std::map<std::uint32_t, std::int64_t> result;
  for (const SNMPVarBind& row : client.walk(ifOperStatus, SNMPClient::walkLimit)) {
    if (const auto* status = row.value.asInteger()) result[row.oid.back()] = *status;
  }
  return result;
}

std::uint32_t loopbackIndex(const std::map<std::uint32_t, std::string>& byIndex) {
  const auto lo = std::find_if(byIndex.begin(), byIndex.end(),
                               [](const auto& entry) { return entry.second == "lo"; });
  return lo == byIndex.end() ? 0 : lo->first;
}

class SnmpdIntegrationTest : public test::SnmpdTest {};

TEST_F(SnmpdIntegrationTest, WalkingIfNameFindsTheLoopback) {
  const auto rows = client().walk(ifName, SNMPClient::walkLimit);
  EXPECT_TRUE(std::any_of(rows.begin(), rows.end(),
                          [](const SNMPVarBind& row) { return text(row.value) == "lo"; }));
  for (const SNMPVarBind& row : rows) {
    EXPECT_EQ(row.oid.size(), ifName.size() + 1);
    EXPECT_TRUE(std::equal(ifName.begin(), ifName.end(), row.oid.begin()));
  }
}

TEST_F(SnmpdIntegrationTest, GetOfTheFourColumnsOfTheLoopback) {
  const std::uint32_t index = loopbackIndex(names(client()));
  ASSERT_NE(index, 0U) << "snmpd lists no lo";

  const std::vector<OID> requested = {at(ifName, index), at(ifHCInOctets, index),
                                      at(ifHCOutOctets, index), at(ifOperStatus, index)};
  const auto bindings = client().get(requested);
  ASSERT_EQ(bindings.size(), 4U);
  for (std::size_t i = 0; i < requested.size(); ++i)
    EXPECT_EQ(bindings[i].oid, requested[i]);
  EXPECT_EQ(bindings[0].value, SNMPValue::bytes("lo"));
  EXPECT_NE(bindings[1].value.asUnsigned(), nullptr);
  EXPECT_NE(bindings[2].value.asUnsigned(), nullptr);
  ASSERT_NE(bindings[3].value.asInteger(), nullptr);
  EXPECT_EQ(*bindings[3].value.asInteger(), 1);  // the loopback is up
}

// The simulator serving this machine's own interfaces, beside snmpd.
struct LiveSimulator {
  LiveSimulator() {
    agent.setSource([this] { return live.table(); });
  }
  SNMPClient client() const {
    SNMPClient simulated;
    simulated.host = "127.0.0.1";
    simulated.port = agent.port();
    simulated.community = agent.community();
    return simulated;
  }
  const LiveInterfaceSource live;
  SimulatorAgent agent;
};

TEST_F(SnmpdIntegrationTest, SimulatorLiveTableListsWhatSnmpdLists) {
  const LiveSimulator simulator;
  const SNMPClient simulated = simulator.client();

  EXPECT_EQ(names(simulated), names(client()));
  EXPECT_EQ(states(simulated), states(client()));
}

TEST_F(SnmpdIntegrationTest, SimulatorCountersAreNotBehindSnmpds) {
  const std::uint32_t index = loopbackIndex(names(client()));
  ASSERT_NE(index, 0U);
  const auto reply = client().get({at(ifHCInOctets, index)});
  const auto* before = reply.at(0).value.asUnsigned();
  ASSERT_NE(before, nullptr);
  const std::uint64_t snmpdCount = *before;

  const LiveSimulator simulator;
  const SNMPClient simulated = simulator.client();
  const auto simulatedReply = simulated.get({at(ifHCInOctets, index)});
  const auto* after = simulatedReply.at(0).value.asUnsigned();
  ASSERT_NE(after, nullptr);
  // Both read the kernel's byte count of lo, the simulator later; the exchanges in between
  // only add to it.
  EXPECT_GE(*after, snmpdCount);
}

}  // namespace
}  // namespace pulsewell
