#include "agent/simulator_agent.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "agent/agent_value.h"
#include "snmp/if_mib.h"
#include "snmp/snmp_client.h"
#include "snmp/snmp_codec.h"
#include "snmp/snmp_error.h"
#include "tests/support/peer_client.h"
#include "tests/support/thrown_by.h"
#include "tests/tools/agent_test_support.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;
using IfMib::instance;
using test::AgentTestClient;

// Long enough that a loopback answer has arrived, short enough to keep tests quick.
constexpr auto quiet = 100ms;

// The "public" agent with one interface row, eth0 at index 5.
class SimulatorAgentTest : public testing::Test {
 protected:
  SimulatorAgentTest() { agent.setInterface({5, "eth0", 2000, 1000, IfMib::operStatusUp, true}); }

  // Without retries unless a test asks, so that the agent's request counts are exact.
  SNMPClient client(double timeout = 2.0, int retries = 0) const {
    return test::peerClient("127.0.0.1", agent.port(), "public", timeout, retries);
  }

  // A GetRequest for eth0's name.
  static Bytes nameRequest(std::int32_t id, std::string_view community = "public") {
    return test::getRequestBytes(id, {instance(IfMib::ifName(), 5)}, community);
  }

  // Sends `request` and expects exactly `expected` back, from the agent's own port.
  void expectAnswer(const Bytes& request, const Bytes& expected) const {
    raw.send(request);
    const auto answer = raw.receive(2s);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->bytes, expected);
    EXPECT_EQ(answer->fromPort, agent.port());
  }

  SimulatorAgent agent;
  AgentTestClient raw{agent.port()};
};

// --- Exact bytes on the wire, written out by hand so that no mistake shared with the
// --- codec can hide.

TEST_F(SimulatorAgentTest, AnswersAHandWrittenGetRequestWithTheExactResponse) {
  agent.setTable({});
  agent.set(instance(IfMib::ifName(), 5), AgentValue::octetString("eth0"));
  const Bytes expected = {
      0x30, 0x2D,                                      // Message, 45 bytes
      0x02, 0x01, 0x01,                                // version 1 (v2c)
      0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',   // community "public"
      0xA2, 0x20,                                      // Response, 32 bytes
      0x02, 0x01, 0x01,                                // request-id 1
      0x02, 0x01, 0x00,                                // error-status 0
      0x02, 0x01, 0x00,                                // error-index 0
      0x30, 0x15,                                      // variable-bindings, 21 bytes
      0x30, 0x13,                                      // VarBind, 19 bytes
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F,  // ifName.5
      0x01, 0x01, 0x01, 0x01, 0x05,                    //
      0x04, 0x04, 'e',  't',  'h',  '0',               // OCTET STRING "eth0"
  };
  expectAnswer(test::handWrittenGet, expected);
}

TEST_F(SimulatorAgentTest, AnswersCountersAndAMissingObjectWithTheirOwnTags) {
  agent.setTable({});
  agent.set(instance(IfMib::ifHCInOctets(), 5), AgentValue::counter64(0x1'0000'0001ULL));
  agent.set(instance(IfMib::ifInOctets(), 5), AgentValue::counter32(200));
  const Bytes request = {
      0x30, 0x4A,                                            // Message, 74 bytes
      0x02, 0x01, 0x01,                                      // version 1 (v2c)
      0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',         // community "public"
      0xA0, 0x3D,                                            // GetRequest, 61 bytes
      0x02, 0x02, 0x12, 0x34,                                // request-id 0x1234
      0x02, 0x01, 0x00,                                      // error-status 0
      0x02, 0x01, 0x00,                                      // error-index 0
      0x30, 0x31,                                            // variable-bindings, 49 bytes
      0x30, 0x0F,                                            // VarBind, 15 bytes
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01,  // ifHCInOctets.5
      0x01, 0x01, 0x06, 0x05,                                //
      0x05, 0x00,                                            // NULL
      0x30, 0x0E,                                            // VarBind, 14 bytes
      0x06, 0x0A, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02,  // ifInOctets.5
      0x01, 0x0A, 0x05,                                      //
      0x05, 0x00,                                            // NULL
      0x30, 0x0E,                                            // VarBind, 14 bytes
      0x06, 0x0A, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02,  // ifOperStatus.9 (absent)
      0x01, 0x08, 0x09,                                      //
      0x05, 0x00,                                            // NULL
  };
  const Bytes expected = {
      0x30, 0x51,                                            // Message, 81 bytes
      0x02, 0x01, 0x01,                                      // version 1 (v2c)
      0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',         // community "public"
      0xA2, 0x44,                                            // Response, 68 bytes
      0x02, 0x02, 0x12, 0x34,                                // request-id 0x1234
      0x02, 0x01, 0x00,                                      // error-status 0
      0x02, 0x01, 0x00,                                      // error-index 0
      0x30, 0x38,                                            // variable-bindings, 56 bytes
      0x30, 0x14,                                            // VarBind, 20 bytes
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01,  // ifHCInOctets.5
      0x01, 0x01, 0x06, 0x05,                                //
      0x46, 0x05, 0x01, 0x00, 0x00, 0x00, 0x01,              // Counter64 2^32 + 1
      0x30, 0x10,                                            // VarBind, 16 bytes
      0x06, 0x0A, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02,  // ifInOctets.5
      0x01, 0x0A, 0x05,                                      //
      0x41, 0x02, 0x00, 0xC8,                                // Counter32 200 (leading 00)
      0x30, 0x0E,                                            // VarBind, 14 bytes
      0x06, 0x0A, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02,  // ifOperStatus.9
      0x01, 0x08, 0x09,                                      //
      0x81, 0x00,                                            // noSuchInstance
  };
  expectAnswer(request, expected);
}

TEST_F(SimulatorAgentTest, AnswersAHandWrittenGetNextWithSuccessorAndEndOfMibView) {
  agent.setTable({});
  agent.set(instance(IfMib::ifName(), 5), AgentValue::octetString("eth0"));
  const Bytes request = {
      0x30, 0x39,                                            // Message, 57 bytes
      0x02, 0x01, 0x01,                                      // version 1 (v2c)
      0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',         // community "public"
      0xA1, 0x2C,                                            // GetNextRequest, 44 bytes
      0x02, 0x01, 0x02,                                      // request-id 2
      0x02, 0x01, 0x00,                                      // error-status 0
      0x02, 0x01, 0x00,                                      // error-index 0
      0x30, 0x21,                                            // variable-bindings, 33 bytes
      0x30, 0x0E,                                            // VarBind, 14 bytes
      0x06, 0x0A, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01,  // ifName (the column)
      0x01, 0x01, 0x01,                                      //
      0x05, 0x00,                                            // NULL
      0x30, 0x0F,                                            // VarBind, 15 bytes
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01,  // ifName.5 (the last object)
      0x01, 0x01, 0x01, 0x05,                                //
      0x05, 0x00,                                            // NULL
  };
  const Bytes expected = {
      0x30, 0x3E,                                            // Message, 62 bytes
      0x02, 0x01, 0x01,                                      // version 1 (v2c)
      0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',         // community "public"
      0xA2, 0x31,                                            // Response, 49 bytes
      0x02, 0x01, 0x02,                                      // request-id 2
      0x02, 0x01, 0x00,                                      // error-status 0
      0x02, 0x01, 0x00,                                      // error-index 0
      0x30, 0x26,                                            // variable-bindings, 38 bytes
      0x30, 0x13,                                            // VarBind, 19 bytes
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01,  // ifName.5
      0x01, 0x01, 0x01, 0x05,                                //
      0x04, 0x04, 'e',  't',  'h',  '0',                     // OCTET STRING "eth0"
      0x30, 0x0F,                                            // VarBind, 15 bytes
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01,  // ifName.5, echoed
      0x01, 0x01, 0x01, 0x05,                                //
      0x82, 0x00,                                            // endOfMibView
  };
  expectAnswer(request, expected);
}

// --- Requests the agent does not answer.

TEST_F(SimulatorAgentTest, DropsARequestWithAnotherCommunitySilently) {
  raw.send(nameRequest(3, "private"));
  EXPECT_FALSE(raw.receive(quiet).has_value());
  EXPECT_EQ(agent.requestCount(), 1U);

  // A community differs in one byte, or by a trailing zero: still another community.
  raw.send(nameRequest(4, "publiC"));
  raw.send(nameRequest(5, std::string("public\0", 7)));
  EXPECT_FALSE(raw.receive(quiet).has_value());

  const auto answer = raw.exchange(nameRequest(6));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->id, 6);
}

TEST_F(SimulatorAgentTest, IgnoresUndecodableDatagramsAndKeepsAnswering) {
  Bytes truncated = test::getRequestBytes(7, {{1, 3}});
  truncated.pop_back();
  const std::vector<Bytes> junk = {
      {},
      {0xFF},
      {0x30, 0x80, 0x00, 0x00},  // indefinite length
      truncated,
      test::requestBytes(0xA2, 8, "public", 0, 0, {{1, 3}}),  // a Response sent to the agent
      Bytes(3000, 0x30),
  };
  for (const Bytes& datagram : junk)
    raw.send(datagram);
  EXPECT_FALSE(raw.receive(quiet).has_value());
  EXPECT_TRUE(agent.waitForRequests(junk.size(), 2s));

  const auto answer = raw.exchange(nameRequest(9));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->varBinds.at(0).value, SNMPValue::bytes("eth0"));
}

TEST_F(SimulatorAgentTest, RefusesSetWithNotWritable) {
  const auto answer =
      raw.exchange(test::requestBytes(test::setRequest, 10, "public", 0, 0,
                                      {instance(IfMib::ifName(), 5)}, {0x04, 0x03, 'b', 'a', 'd'}));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->errorStatus, 17);
  EXPECT_EQ(answer->varBinds,
            (std::vector<SNMPVarBind>{{instance(IfMib::ifName(), 5), SNMPValue::bytes("bad")}}));
  const auto after = raw.exchange(nameRequest(11));
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->varBinds.at(0).value, SNMPValue::bytes("eth0"));
}

TEST_F(SimulatorAgentTest, KeepsACopyOfEveryDatagramInOrder) {
  const Bytes first = nameRequest(12);
  const Bytes second = {0x01, 0x02};
  raw.send(first);
  ASSERT_TRUE(raw.receive(2s).has_value());
  raw.send(second);
  ASSERT_TRUE(agent.waitForRequests(2, 2s));
  EXPECT_EQ(agent.receivedRequests(), (std::vector<Bytes>{first, second}));
}

// --- Faults, one per request in order of arrival.

TEST_F(SimulatorAgentTest, FaultsAreTakenInOrderNothingNothingReply) {
  agent.queueFaults({AgentFault::drop(), AgentFault::drop()});
  for (std::int32_t id = 1; id <= 2; ++id) {
    raw.send(nameRequest(id));
    EXPECT_FALSE(raw.receive(quiet).has_value()) << "request " << id;
  }
  const auto answer = raw.exchange(nameRequest(3));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->id, 3);
  EXPECT_EQ(agent.requestCount(), 3U);
  EXPECT_EQ(agent.pendingFaults(), 0U);
}

TEST_F(SimulatorAgentTest, ARequestWithAnotherCommunityTakesNoFault) {
  agent.queueFault(AgentFault::drop());
  raw.send(nameRequest(1, "private"));
  ASSERT_TRUE(agent.waitForRequests(1, 2s));
  EXPECT_EQ(agent.pendingFaults(), 1U);
}

TEST_F(SimulatorAgentTest, ClientRetriesAfterADroppedRequest) {
  agent.queueFault(AgentFault::drop());
  const auto bindings = client(0.5, 1).get({instance(IfMib::ifName(), 5)});
  ASSERT_EQ(bindings.size(), 1U);
  EXPECT_EQ(bindings[0].value, SNMPValue::bytes("eth0"));
  ASSERT_EQ(agent.requestCount(), 2U);
  // Two sends, each with a request-id of its own.
  const auto requests = agent.receivedRequests();
  EXPECT_NE(requests[0], requests[1]);
}

TEST_F(SimulatorAgentTest, DelayedAnswerArrivesLateButArrives) {
  agent.queueFault(AgentFault::delayed(150ms));
  const auto start = std::chrono::steady_clock::now();
  raw.send(nameRequest(20));
  EXPECT_FALSE(raw.receive(50ms).has_value());
  const auto answer = raw.receive(2s);
  ASSERT_TRUE(answer.has_value());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
  EXPECT_EQ(SNMPCodec::decodeResponse(answer->bytes)->id, 20);
}

TEST_F(SimulatorAgentTest, ADelayedAnswerDoesNotHoldBackTheNextRequest) {
  agent.queueFault(AgentFault::delayed(300ms));
  raw.send(nameRequest(21));
  raw.send(nameRequest(22));
  const auto first = raw.receive(2s);
  const auto second = raw.receive(2s);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(SNMPCodec::decodeResponse(first->bytes)->id, 22);
  EXPECT_EQ(SNMPCodec::decodeResponse(second->bytes)->id, 21);
}

TEST_F(SimulatorAgentTest, DuplicateSendsTheSameAnswerTwice) {
  agent.queueFault(AgentFault::duplicate());
  raw.send(nameRequest(30));
  const auto first = raw.receive(2s);
  const auto second = raw.receive(2s);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->bytes, second->bytes);
  EXPECT_FALSE(raw.receive(quiet).has_value());
}

TEST_F(SimulatorAgentTest, WrongRequestIdAnswersAnotherRequest) {
  agent.queueFault(AgentFault::wrongRequestId());
  const auto answer = raw.exchange(nameRequest(40));
  ASSERT_TRUE(answer.has_value());
  EXPECT_NE(answer->id, 40);
  EXPECT_EQ(answer->varBinds.at(0).value, SNMPValue::bytes("eth0"));
}

TEST_F(SimulatorAgentTest, WrongRequestIdOfTheLargestIdStaysInRange) {
  agent.queueFault(AgentFault::wrongRequestId());
  const auto answer = raw.exchange(nameRequest(2147483647));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->id, 2147483646);
}

TEST_F(SimulatorAgentTest, GarbageAndEmptyDatagramReplaceTheAnswer) {
  const Bytes garbage = {0xDE, 0xAD};
  agent.queueFaults(
      {AgentFault::garbage(garbage), AgentFault::emptyDatagram(), AgentFault::garbage()});
  raw.send(nameRequest(50));
  const auto first = raw.receive(2s);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->bytes, garbage);

  raw.send(nameRequest(51));
  const auto second = raw.receive(2s);
  ASSERT_TRUE(second.has_value());
  EXPECT_TRUE(second->bytes.empty());

  raw.send(nameRequest(52));
  const auto third = raw.receive(2s);
  ASSERT_TRUE(third.has_value());
  EXPECT_FALSE(SNMPCodec::decodeResponse(third->bytes).has_value());
}

TEST_F(SimulatorAgentTest, ErrorStatusEchoesTheRequestedBindings) {
  agent.queueFault(AgentFault::error(5));
  const auto answer = raw.exchange(test::getRequestBytes(
      60, {instance(IfMib::ifName(), 5), instance(IfMib::ifHCInOctets(), 5)}));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->errorStatus, 5);
  EXPECT_EQ(answer->varBinds,
            (std::vector<SNMPVarBind>{{instance(IfMib::ifName(), 5), SNMPValue::null()},
                                      {instance(IfMib::ifHCInOctets(), 5), SNMPValue::null()}}));
}

TEST_F(SimulatorAgentTest, ClientSeesTheErrorStatusAsAnAgentError) {
  agent.queueFault(AgentFault::error(2));
  EXPECT_EQ(thrownBy<SNMPError>([&] { client(2.0, 1).get({instance(IfMib::ifName(), 5)}); }),
            SNMPError::agent(2));
  EXPECT_EQ(agent.requestCount(), 1U);
}

TEST_F(SimulatorAgentTest, IgnoringMaxRepetitionsAnswersTheGivenNumberOfBindings) {
  for (std::uint32_t i = 6; i <= 40; ++i)
    agent.setInterface({i, "if" + std::to_string(i), 0, 0, 1, true});
  agent.queueFault(AgentFault::ignoreMaxRepetitions(25));
  const auto answer = raw.exchange(test::bulkRequest(70, 0, 20, {IfMib::ifName()}));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->varBinds.size(), 25U);

  const auto normal = raw.exchange(test::bulkRequest(71, 0, 20, {IfMib::ifName()}));
  ASSERT_TRUE(normal.has_value());
  EXPECT_EQ(normal->varBinds.size(), 20U);
}

TEST_F(SimulatorAgentTest, OutOfOrderBindingsDoNotIncrease) {
  agent.setInterface({6, "eth1", 0, 0, 1, true});
  agent.setInterface({7, "eth2", 0, 0, 1, true});
  agent.queueFault(AgentFault::outOfOrder());
  const auto answer = raw.exchange(test::bulkRequest(80, 0, 3, {IfMib::ifName()}));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(test::oidsOf(answer->varBinds),
            (std::vector<OID>{instance(IfMib::ifName(), 7), instance(IfMib::ifName(), 6),
                              instance(IfMib::ifName(), 5)}));
}

TEST_F(SimulatorAgentTest, OutOfOrderWithOneBindingRepeatsIt) {
  agent.queueFault(AgentFault::outOfOrder());
  const auto answer = raw.exchange(nameRequest(81));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(test::oidsOf(answer->varBinds),
            (std::vector<OID>{instance(IfMib::ifName(), 5), instance(IfMib::ifName(), 5)}));
}

TEST_F(SimulatorAgentTest, WalkFailsOnOutOfOrderBindings) {
  // A batch of names only, so that the reversed batch starts inside the column.
  agent.setTable({});
  for (std::uint32_t i = 1; i <= 30; ++i) {
    agent.set(instance(IfMib::ifName(), i), AgentValue::octetString("if" + std::to_string(i)));
  }
  agent.queueFault(AgentFault::outOfOrder());
  EXPECT_EQ(thrownBy<SNMPError>([&] { client().walk(IfMib::ifName(), SNMPClient::walkLimit); }),
            SNMPError::malformed());
}

TEST_F(SimulatorAgentTest, OtherPortAnswersFromAnotherSocket) {
  agent.queueFault(AgentFault::otherPort());
  raw.send(nameRequest(90));
  const auto answer = raw.receive(2s);
  ASSERT_TRUE(answer.has_value());
  EXPECT_NE(answer->fromPort, agent.port());
  EXPECT_EQ(SNMPCodec::decodeResponse(answer->bytes)->id, 90);
}

TEST_F(SimulatorAgentTest, ConnectedClientNeverSeesAnAnswerFromAnotherPort) {
  agent.queueFault(AgentFault::otherPort());
  EXPECT_EQ(thrownBy<SNMPError>([&] { client(0.1, 0).get({instance(IfMib::ifName(), 5)}); }),
            SNMPError::timeout());
}

// --- The table, changed while the agent runs.

TEST_F(SimulatorAgentTest, TableChangesApplyToTheNextRequest) {
  const auto read = [this] {
    return client().get({instance(IfMib::ifHCInOctets(), 5)}).at(0).value;
  };
  EXPECT_EQ(read(), SNMPValue::unsignedInteger(2000));
  agent.set(instance(IfMib::ifHCInOctets(), 5), AgentValue::counter64(2500));
  EXPECT_EQ(read(), SNMPValue::unsignedInteger(2500));
  agent.remove(instance(IfMib::ifHCInOctets(), 5));
  EXPECT_EQ(read(), SNMPValue::missing());
  agent.update([](AgentTable& table) { table.setInterface({5, "eth0", 9, 9, 1, true}); });
  EXPECT_EQ(read(), SNMPValue::unsignedInteger(9));
}

TEST_F(SimulatorAgentTest, AgentWithoutHighCapacityCountersAnswersNoSuchInstance) {
  agent.update([](AgentTable& table) { table.removeHighCapacityCounters(); });
  raw.send(test::getRequestBytes(100, {instance(IfMib::ifHCInOctets(), 5)}));
  const auto answer = raw.receive(2s);
  ASSERT_TRUE(answer.has_value());
  // The binding's value is the last two bytes of the datagram.
  ASSERT_GE(answer->bytes.size(), 2U);
  EXPECT_EQ(Bytes(answer->bytes.end() - 2, answer->bytes.end()), (Bytes{0x81, 0x00}));
}

TEST_F(SimulatorAgentTest, EmptyNameColumnWalksToNothing) {
  agent.update([](AgentTable& table) { table.removeColumn(IfMib::ifName()); });
  EXPECT_TRUE(client().walk(IfMib::ifName(), SNMPClient::walkLimit).empty());
}

TEST_F(SimulatorAgentTest, ClientWalksAManyRowTableAcrossSeveralBulkRequests) {
  for (std::uint32_t i = 6; i <= 50; ++i)
    agent.setInterface({i, "if" + std::to_string(i), 0, 0, 1, true});
  const auto rows = client().walk(IfMib::ifName(), SNMPClient::walkLimit);
  ASSERT_EQ(rows.size(), 46U);
  EXPECT_EQ(rows.front(), (SNMPVarBind{instance(IfMib::ifName(), 5), SNMPValue::bytes("eth0")}));
  EXPECT_EQ(rows.back(), (SNMPVarBind{instance(IfMib::ifName(), 50), SNMPValue::bytes("if50")}));
  EXPECT_EQ(agent.requestCount(), 3U);  // 20 + 20 + 6 and the column's end
}

TEST_F(SimulatorAgentTest, SourceRefreshesTheTableForEveryRequest) {
  std::atomic<std::uint64_t> calls{0};
  agent.setSource([&calls] {
    AgentTable table;
    table.set(instance(IfMib::ifHCInOctets(), 1), AgentValue::counter64(++calls));
    return table;
  });
  EXPECT_EQ(client().get({instance(IfMib::ifHCInOctets(), 1)}).at(0).value,
            SNMPValue::unsignedInteger(1));
  EXPECT_EQ(client().get({instance(IfMib::ifHCInOctets(), 1)}).at(0).value,
            SNMPValue::unsignedInteger(2));
}

TEST_F(SimulatorAgentTest, FailingSourceLeavesTheLastTable) {
  agent.setSource([]() -> AgentTable { throw std::runtime_error("unreadable"); });
  EXPECT_EQ(client().get({instance(IfMib::ifName(), 5)}).at(0).value, SNMPValue::bytes("eth0"));
}

TEST_F(SimulatorAgentTest, TableMayChangeWhileRequestsAreAnswered) {
  // A jthread joins even when a failing walk throws. The writer yields between changes so that
  // on a loaded machine it cannot starve the agent of its lock for a whole timeout.
  std::jthread writer([this](const std::stop_token& stop) {
    for (std::uint64_t i = 0; !stop.stop_requested(); ++i) {
      agent.setInterface({5, "eth0", i, i, 1, true});
      agent.setInterface({6 + static_cast<std::uint32_t>(i % 8), "other", i, i, 1, true});
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 20; ++i) {
    const auto rows = client(2.0, 2).walk(IfMib::ifName(), SNMPClient::walkLimit);
    EXPECT_FALSE(rows.empty());
  }
}

// --- Where it listens.

TEST(SimulatorAgentBindTest, RefusesAddressesAnotherHostCouldReach) {
  for (const std::string address :
       {"0.0.0.0", "192.168.1.1", "10.0.0.1", "::", "fe80::1", "localhost", "", "127.0.0.1 "}) {
    EXPECT_THROW(SimulatorAgent(SimulatorAgent::Options{.bindAddress = address}),
                 std::invalid_argument)
        << "'" << address << "'";
  }
}

TEST(SimulatorAgentBindTest, AnyAddressInTheLoopbackNetworkWorks) {
  SimulatorAgent agent({.bindAddress = "127.0.0.2", .community = "velmar"});
  agent.set(IfMib::instance(IfMib::ifName(), 1), AgentValue::octetString("lo"));
  AgentTestClient raw(agent.port(), "127.0.0.2");
  const auto answer =
      raw.exchange(test::getRequestBytes(1, {IfMib::instance(IfMib::ifName(), 1)}, "velmar"));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->varBinds.at(0).value, SNMPValue::bytes("lo"));
}

TEST(SimulatorAgentBindTest, ListensOnIpv6Loopback) {
  const int probe = socket(AF_INET6, SOCK_DGRAM, 0);
  if (probe < 0) GTEST_SKIP() << "no IPv6 on this machine";
  close(probe);
  std::optional<SimulatorAgent> agent;
  try {
    agent.emplace(SimulatorAgent::Options{.bindAddress = "::1"});
  } catch (const std::system_error& error) {
    GTEST_SKIP() << "::1 cannot be bound here: " << error.what();
  }
  agent->set(IfMib::instance(IfMib::ifName(), 1), AgentValue::octetString("lo"));
  AgentTestClient raw(agent->port(), "::1");
  const auto answer = raw.exchange(test::getRequestBytes(1, {IfMib::instance(IfMib::ifName(), 1)}));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->varBinds.at(0).value, SNMPValue::bytes("lo"));
}

TEST(SimulatorAgentBindTest, TakesTheGivenPortAndRefusesOneInUse) {
  const SimulatorAgent first;
  EXPECT_NE(first.port(), 0);
  EXPECT_THROW(SimulatorAgent({.port = first.port()}), std::system_error);
}

TEST(SimulatorAgentLifetimeTest, StopsPromptlyWithAnAnswerStillWaiting) {
  const auto start = std::chrono::steady_clock::now();
  {
    SimulatorAgent agent;
    agent.queueFault(AgentFault::delayed(std::chrono::minutes(10)));
    AgentTestClient raw(agent.port());
    raw.send(test::getRequestBytes(1, {{1, 3}}));
    ASSERT_TRUE(agent.waitForRequests(1, std::chrono::seconds(2)));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace pulsewell
