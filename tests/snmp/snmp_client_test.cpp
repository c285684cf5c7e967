#include "snmp/snmp_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "snmp/snmp_error.h"
#include "tests/support/peer_client.h"
#include "tests/support/request_reader.h"
#include "tests/support/response_builder.h"
#include "tests/support/thrown_by.h"
#include "tests/support/udp_peer.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;
using test::SentRequest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::int64_t largestID = 0x7FFF'FFFF;

const OID& ifName() {
  static const OID oid{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1};
  return oid;
}

OID child(const OID& parent, std::initializer_list<std::uint32_t> arcs) {
  OID oid = parent;
  oid.insert(oid.end(), arcs);
  return oid;
}

SNMPVarBind nameOf(std::uint32_t index, std::string_view name) {
  return {child(ifName(), {index}), SNMPValue::bytes(name)};
}

// Answers each attempt with the next step of its script and keeps what was sent.
class ScriptedDevice {
 public:
  using Step = std::function<Bytes(const SentRequest&)>;

  explicit ScriptedDevice(std::vector<Step> steps) : steps_(std::move(steps)) {}

  SNMPClient client(int retries = 1) {
    SNMPClient c;
    c.host = "device.invalid";
    c.community = "secret";
    c.retries = retries;
    c.transport = [this](const Bytes& bytes) { return answer(bytes); };
    return c;
  }

  const std::vector<SentRequest>& requests() const { return requests_; }

 private:
  Bytes answer(const Bytes& bytes) {
    const auto request = test::readRequest(bytes);
    if (!request) {
      ADD_FAILURE() << "the client sent something that is not a request";
      throw SNMPError::timeout();
    }
    requests_.push_back(*request);
    if (requests_.size() > steps_.size()) {
      ADD_FAILURE() << "attempt " << requests_.size() << " was not expected";
      throw SNMPError::timeout();
    }
    return steps_[requests_.size() - 1](*request);
  }

  std::vector<Step> steps_;
  std::vector<SentRequest> requests_;
};

using Step = ScriptedDevice::Step;

Step reply(const std::vector<SNMPVarBind>& bindings, std::int64_t errorStatus = 0) {
  return [=](const SentRequest& r) {
    return test::responseBytes(static_cast<std::int32_t>(r.id), errorStatus, bindings);
  };
}
Step replyToAnother(const std::vector<SNMPVarBind>& bindings) {
  return [=](const SentRequest& r) {
    return test::responseBytes(static_cast<std::int32_t>(r.id ^ 1), 0, bindings);
  };
}
Step silence() {
  return [](const SentRequest&) -> Bytes { throw SNMPError::timeout(); };
}
Step garbage() {
  return [](const SentRequest&) { return Bytes{0x30, 0x03, 0x02, 0x01}; };
}
Step failWith(const SNMPError& error) {
  return [=](const SentRequest&) -> Bytes { throw error; };
}

// ---- single requests ----

TEST(SNMPClientRequest, GetSendsOneGetRequestForAllOIDsWithTheCommunity) {
  const std::vector<OID> oids{child(ifName(), {5}), {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 5}};
  ScriptedDevice device({reply({nameOf(5, "eth0")})});
  EXPECT_THAT(device.client().get(oids), ElementsAre(nameOf(5, "eth0")));
  ASSERT_EQ(device.requests().size(), 1U);
  const SentRequest& sent = device.requests()[0];
  EXPECT_EQ(sent.pduTag, 0xA0);
  EXPECT_EQ(sent.community, "secret");
  EXPECT_EQ(sent.oids, oids);
}

TEST(SNMPClientRequest, ReturnsTheBindingsInTheAgentsOrder) {
  const std::vector<SNMPVarBind> bindings{
      {{1, 3, 6, 1, 2, 1, 2, 2, 1, 8, 2}, SNMPValue::integer(1)},
      {{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 2}, SNMPValue::unsignedInteger(1ULL << 40U)},
      {{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 10, 2}, SNMPValue::missing()},
      {{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1, 2}, SNMPValue::null()},
  };
  ScriptedDevice device({reply(bindings)});
  EXPECT_EQ(device.client().get({child(ifName(), {2})}), bindings);
}

TEST(SNMPClientRequest, TimeoutThenReplyReturnsTheReplyAndEachAttemptHasItsOwnID) {
  ScriptedDevice device({silence(), reply({nameOf(1, "lo")})});
  EXPECT_THAT(device.client().get({child(ifName(), {1})}), ElementsAre(nameOf(1, "lo")));
  ASSERT_EQ(device.requests().size(), 2U);
  EXPECT_NE(device.requests()[0].id, device.requests()[1].id);
}

TEST(SNMPClientRequest, ReplyToAnotherRequestIsRetriedWithANewID) {
  ScriptedDevice device({replyToAnother({nameOf(1, "stale")}), reply({nameOf(1, "lo")})});
  EXPECT_THAT(device.client().get({child(ifName(), {1})}), ElementsAre(nameOf(1, "lo")));
  ASSERT_EQ(device.requests().size(), 2U);
  EXPECT_NE(device.requests()[0].id, device.requests()[1].id);
}

TEST(SNMPClientRequest, RequestIDsAreDrawnFromTheWholePositiveRange) {
  constexpr int attempts = 400;
  std::vector<Step> steps(attempts, silence());
  ScriptedDevice device(steps);
  EXPECT_EQ(thrownBy<SNMPError>([&] { device.client(attempts - 1).get({ifName()}); }),
            SNMPError::timeout());
  ASSERT_EQ(device.requests().size(), static_cast<std::size_t>(attempts));
  bool low = false;
  bool high = false;
  for (const SentRequest& sent : device.requests()) {
    EXPECT_GE(sent.id, 1);
    EXPECT_LE(sent.id, largestID);
    low = low || sent.id < (1LL << 30);
    high = high || sent.id >= (1LL << 30);
  }
  EXPECT_TRUE(low && high) << "ids are not spread over 1 ... 2^31 - 1";
}

struct FailureCase {
  std::string name;
  std::vector<Step> script;
  int retries;
  SNMPError expected;
  std::size_t attempts;
};

// The case as its test name shows it.
void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.name;
}

class SNMPClientFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SNMPClientFailure, EndsWithTheExpectedErrorAfterTheExpectedAttempts) {
  const FailureCase& c = GetParam();
  ScriptedDevice device(c.script);
  EXPECT_EQ(thrownBy<SNMPError>([&] { device.client(c.retries).get({child(ifName(), {1})}); }),
            c.expected);
  EXPECT_EQ(device.requests().size(), c.attempts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SNMPClientFailure,
    ::testing::Values(
        FailureCase{"silentDevice", {silence(), silence()}, 1, SNMPError::timeout(), 2},
        FailureCase{"silentWithoutRetries", {silence()}, 0, SNMPError::timeout(), 1},
        FailureCase{"negativeRetriesMeanOneAttempt", {silence()}, -3, SNMPError::timeout(), 1},
        FailureCase{"moreRetries", {silence(), silence(), silence()}, 2, SNMPError::timeout(), 3},
        FailureCase{"wrongIDWithoutRetries", {replyToAnother({})}, 0, SNMPError::malformed(), 1},
        FailureCase{
            "wrongIDTwice", {replyToAnother({}), replyToAnother({})}, 1, SNMPError::malformed(), 2},
        FailureCase{"garbageThenTimeout", {garbage(), silence()}, 1, SNMPError::timeout(), 2},
        FailureCase{"timeoutThenGarbage", {silence(), garbage()}, 1, SNMPError::malformed(), 2},
        FailureCase{"emptyReply",
                    {[](const SentRequest&) { return Bytes{}; }},
                    0,
                    SNMPError::malformed(),
                    1},
        FailureCase{"agentErrorIsNotRetried", {reply({}, 2)}, 3, SNMPError::agent(2), 1},
        FailureCase{"negativeAgentError", {reply({}, -7)}, 1, SNMPError::agent(-7), 1},
        FailureCase{
            "agentErrorAfterATimeout", {silence(), reply({}, 5)}, 1, SNMPError::agent(5), 2},
        FailureCase{"unreachableIsNotRetried",
                    {failWith(SNMPError::unreachable())},
                    3,
                    SNMPError::unreachable(),
                    1},
        FailureCase{"deniedIsNotRetried",
                    {failWith(SNMPError::localNetworkDenied())},
                    3,
                    SNMPError::localNetworkDenied(),
                    1},
        FailureCase{"transportMalformedPassesOn",
                    {failWith(SNMPError::malformed())},
                    3,
                    SNMPError::malformed(),
                    1}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(SNMPClientRequest, OtherTransportErrorsPassOnUnchangedWithoutRetry) {
  int calls = 0;
  SNMPClient client;
  client.host = "device.invalid";
  client.retries = 3;
  client.transport = [&](const Bytes&) -> Bytes {
    ++calls;
    throw std::runtime_error("cable pulled");
  };
  EXPECT_THROW(
      {
        try {
          client.get({ifName()});
        } catch (const std::runtime_error& error) {
          EXPECT_STREQ(error.what(), "cable pulled");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_EQ(calls, 1);
}

TEST(SNMPClientRequest, WithoutLinkOrTransportIsUnreachable) {
  SNMPClient client;
  client.host = "127.0.0.1";
  client.link = nullptr;
  EXPECT_EQ(thrownBy<SNMPError>([&] { client.get({ifName()}); }), SNMPError::unreachable());
}

// ---- walks ----

std::vector<SNMPVarBind> names(std::uint32_t from, std::uint32_t count) {
  std::vector<SNMPVarBind> list;
  for (std::uint32_t i = from; i < from + count; ++i) {
    list.push_back(nameOf(i, "if" + std::to_string(i)));
  }
  return list;
}

std::vector<SNMPVarBind> joined(std::vector<SNMPVarBind> head,
                                const std::vector<SNMPVarBind>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(SNMPClientWalk, SendsGetBulkFromTheRootThenFromTheLastOIDOfEachBatch) {
  const SNMPVarBind outside{{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 2, 1}, SNMPValue::unsignedInteger(0)};
  ScriptedDevice device({reply(names(1, 20)), reply(joined(names(21, 3), {outside}))});
  EXPECT_EQ(device.client().walk(ifName(), SNMPClient::walkLimit), names(1, 23));
  ASSERT_EQ(device.requests().size(), 2U);
  for (const SentRequest& sent : device.requests()) {
    EXPECT_EQ(sent.pduTag, 0xA5);
    EXPECT_EQ(sent.nonRepeaters, 0);
    EXPECT_EQ(sent.maxRepetitions, 20);
    EXPECT_EQ(sent.oids.size(), 1U);
  }
  EXPECT_THAT(device.requests()[0].oids, ElementsAre(ifName()));
  EXPECT_THAT(device.requests()[1].oids, ElementsAre(child(ifName(), {20})));
}

TEST(SNMPClientWalk, NothingUnderTheRootGivesAnEmptyResult) {
  ScriptedDevice device({reply({{{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 2, 1}, SNMPValue::integer(0)}})});
  EXPECT_THAT(device.client().walk(ifName(), SNMPClient::walkLimit), IsEmpty());
  EXPECT_EQ(device.requests().size(), 1U);
}

TEST(SNMPClientWalk, EndOfMibViewAfterThreeReturnsThoseThreeAndAsksNoMore) {
  const SNMPVarBind end{child(ifName(), {4}), SNMPValue::missing()};
  ScriptedDevice device({reply(joined(names(1, 3), {end, nameOf(5, "after the end")}))});
  EXPECT_EQ(device.client().walk(ifName(), SNMPClient::walkLimit), names(1, 3));
  EXPECT_EQ(device.requests().size(), 1U);
}

TEST(SNMPClientWalk, EmptyBatchEndsTheWalkWithWhatWasCollected) {
  ScriptedDevice device({reply(names(1, 20)), reply({})});
  EXPECT_EQ(device.client().walk(ifName(), SNMPClient::walkLimit), names(1, 20));
  EXPECT_EQ(device.requests().size(), 2U);
}

TEST(SNMPClientWalk, LimitIsCheckedOnlyBeforeEachRequest) {
  ScriptedDevice device({reply(names(1, 20))});
  EXPECT_EQ(device.client().walk(ifName(), 1), names(1, 20));
  EXPECT_EQ(device.requests().size(), 1U);
}

TEST(SNMPClientWalk, ReachingTheLimitExactlyStopsBeforeTheNextRequest) {
  ScriptedDevice device({reply(names(1, 20)), reply(names(21, 20))});
  EXPECT_EQ(device.client().walk(ifName(), 21), names(1, 40));
  EXPECT_EQ(device.requests().size(), 2U);
}

TEST(SNMPClientWalk, LimitOfZeroOrBelowSendsNothing) {
  for (const int limit : {0, -1, -2048}) {
    ScriptedDevice device({});
    EXPECT_THAT(device.client().walk(ifName(), limit), IsEmpty()) << limit;
    EXPECT_THAT(device.requests(), IsEmpty()) << limit;
  }
}

TEST(SNMPClientWalk, NullAndOtherValuesEnterTheResult) {
  const std::vector<SNMPVarBind> values{
      {child(ifName(), {1}), SNMPValue::null()},
      {child(ifName(), {2}), SNMPValue::oid({1, 3, 6})},
      {child(ifName(), {3}), SNMPValue::integer(-1)},
  };
  ScriptedDevice device({reply(values), reply({})});
  EXPECT_EQ(device.client().walk(ifName(), SNMPClient::walkLimit), values);
}

TEST(SNMPClientWalk, DeeperOIDsAndRetriesBetweenBatchesKeepTheOrderRule) {
  const std::vector<SNMPVarBind> first{nameOf(1, "a"),
                                       {child(ifName(), {1, 0}), SNMPValue::null()}};
  ScriptedDevice device({reply(first), silence(), reply({nameOf(2, "b")}), reply({})});
  EXPECT_EQ(device.client().walk(ifName(), SNMPClient::walkLimit), joined(first, {nameOf(2, "b")}));
  ASSERT_EQ(device.requests().size(), 4U);
  EXPECT_THAT(device.requests()[1].oids, ElementsAre(child(ifName(), {1, 0})));
  EXPECT_THAT(device.requests()[2].oids, ElementsAre(child(ifName(), {1, 0})));
}

struct DisorderCase {
  std::string name;
  std::vector<std::vector<SNMPVarBind>> batches;
};

// The case as its test name shows it.
void PrintTo(const DisorderCase& c, std::ostream* out) {
  *out << c.name;
}

class SNMPClientWalkDisorder : public ::testing::TestWithParam<DisorderCase> {};

TEST_P(SNMPClientWalkDisorder, FailsAsMalformed) {
  std::vector<Step> steps;
  for (const auto& batch : GetParam().batches) {
    steps.push_back(reply(batch));
  }
  ScriptedDevice device(steps);
  EXPECT_EQ(thrownBy<SNMPError>([&] { device.client().walk(ifName(), SNMPClient::walkLimit); }),
            SNMPError::malformed());
  EXPECT_EQ(device.requests().size(), GetParam().batches.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SNMPClientWalkDisorder,
    ::testing::Values(
        DisorderCase{"theRootItself", {{{ifName(), SNMPValue::integer(1)}}}},
        DisorderCase{"repeatedOID", {{nameOf(1, "a"), nameOf(1, "a")}}},
        DisorderCase{"goingBack", {{nameOf(3, "c"), nameOf(2, "b")}}},
        DisorderCase{"prefixAfterLonger",
                     {{{child(ifName(), {1, 0}), SNMPValue::null()}, nameOf(1, "a")}}},
        DisorderCase{"nextBatchRepeatsTheLast", {names(1, 20), {nameOf(20, "if20")}}},
        DisorderCase{"arcAbove2To31", {{nameOf(0x8000'0000U, "big"), nameOf(1, "small")}}}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(SNMPClientWalk, AnErrorPartWayDropsEverything) {
  ScriptedDevice device({reply(names(1, 20)), reply({}, 5)});
  EXPECT_EQ(thrownBy<SNMPError>([&] { device.client().walk(ifName(), SNMPClient::walkLimit); }),
            SNMPError::agent(5));
}

// ---- stopping ----

// A step that asks the client to stop while the device answers with `step`.
Step stoppingThen(std::stop_source& stop, Step step) {
  return [&stop, step = std::move(step)](const SentRequest& r) {
    stop.request_stop();
    return step(r);
  };
}

TEST(SNMPClientStop, EndsAWalkBeforeItsNextRequest) {
  std::stop_source stop;
  ScriptedDevice device({stoppingThen(stop, reply(names(1, 20))), reply(names(21, 3))});
  SNMPClient client = device.client();
  client.stop = stop.get_token();
  EXPECT_THROW(client.walk(ifName(), SNMPClient::walkLimit), SNMPStopped);
  EXPECT_EQ(device.requests().size(), 1U);
}

TEST(SNMPClientStop, SendsNoFurtherAttempt) {
  std::stop_source stop;
  ScriptedDevice device({stoppingThen(stop, silence()), reply({nameOf(1, "lo")})});
  SNMPClient client = device.client();
  client.stop = stop.get_token();
  EXPECT_THROW(client.get({child(ifName(), {1})}), SNMPStopped);
  EXPECT_EQ(device.requests().size(), 1U);
}

TEST(SNMPClientStop, AStopBeforeTheFirstRequestSendsNothing) {
  std::stop_source stop;
  stop.request_stop();
  ScriptedDevice device({});
  SNMPClient client = device.client();
  client.stop = stop.get_token();
  EXPECT_THROW(client.get({ifName()}), SNMPStopped);
  EXPECT_TRUE(device.requests().empty());
}

// ---- walks of several columns side by side ----

const OID& ifOperStatus() {
  static const OID oid{1, 3, 6, 1, 2, 1, 2, 2, 1, 8};
  return oid;
}

SNMPVarBind statusOf(std::uint32_t index, std::int64_t status) {
  return {child(ifOperStatus(), {index}), SNMPValue::integer(status)};
}

std::vector<SNMPVarBind> statuses(std::uint32_t from, std::uint32_t count) {
  std::vector<SNMPVarBind> list;
  for (std::uint32_t i = from; i < from + count; ++i) {
    list.push_back(statusOf(i, 1));
  }
  return list;
}

// Rows of two columns the way a GetBulk answer lists them: one binding of each per row.
std::vector<SNMPVarBind> interleaved(const std::vector<SNMPVarBind>& first,
                                     const std::vector<SNMPVarBind>& second) {
  std::vector<SNMPVarBind> rows;
  for (std::size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
    if (i < first.size()) rows.push_back(first[i]);
    if (i < second.size()) rows.push_back(second[i]);
  }
  return rows;
}

std::vector<std::vector<SNMPVarBind>> walkBoth(const SNMPClient& client, int limit) {
  return client.walkColumns({ifName(), ifOperStatus()}, limit);
}

TEST(SNMPClientWalkColumns, OneGetBulkForAllColumnsUntilEachLeavesItsSubtree) {
  const SNMPVarBind pastStatus{{1, 3, 6, 1, 2, 1, 2, 2, 1, 9, 1}, SNMPValue::integer(1)};
  const SNMPVarBind pastNames{{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 2, 1}, SNMPValue::integer(0)};
  ScriptedDevice device({
      reply(interleaved(names(1, 2), statuses(1, 2))),
      // The status column ends here; what the agent lists after it for that column is not ours.
      reply({nameOf(3, "if3"), pastStatus, nameOf(4, "if4"), statusOf(7, 1)}),
      reply({pastNames}),
  });
  const auto columns = walkBoth(device.client(), SNMPClient::walkLimit);
  EXPECT_EQ(columns, (std::vector<std::vector<SNMPVarBind>>{names(1, 4), statuses(1, 2)}));
  ASSERT_EQ(device.requests().size(), 3U);
  for (const SentRequest& sent : device.requests()) {
    EXPECT_EQ(sent.pduTag, 0xA5);
    EXPECT_EQ(sent.nonRepeaters, 0);
    EXPECT_EQ(sent.maxRepetitions, 20);
  }
  EXPECT_THAT(device.requests()[0].oids, ElementsAre(ifName(), ifOperStatus()));
  EXPECT_THAT(device.requests()[1].oids,
              ElementsAre(child(ifName(), {2}), child(ifOperStatus(), {2})));
  EXPECT_THAT(device.requests()[2].oids, ElementsAre(child(ifName(), {4})));
}

TEST(SNMPClientWalkColumns, EachColumnEndsOnItsOwnAndTheWalkEndsWithTheLast) {
  const SNMPVarBind endOfView{child(ifOperStatus(), {2}), SNMPValue::missing()};
  ScriptedDevice device({
      reply({nameOf(1, "if1"), statusOf(1, 1), nameOf(2, "if2"), endOfView}),
      reply(names(3, 2)),
      reply({}),
  });
  EXPECT_EQ(walkBoth(device.client(), SNMPClient::walkLimit),
            (std::vector<std::vector<SNMPVarBind>>{names(1, 4), statuses(1, 1)}));
  EXPECT_EQ(device.requests().size(), 3U);
}

TEST(SNMPClientWalkColumns, TheLimitHoldsForEachColumnBeforeEachRequest) {
  ScriptedDevice device({
      reply(interleaved(names(1, 2), statuses(1, 1))),
      reply(statuses(2, 3)),
  });
  // The names reach the limit in the first batch; only the statuses are asked for again.
  EXPECT_EQ(walkBoth(device.client(), 2),
            (std::vector<std::vector<SNMPVarBind>>{names(1, 2), statuses(1, 4)}));
  ASSERT_EQ(device.requests().size(), 2U);
  EXPECT_THAT(device.requests()[1].oids, ElementsAre(child(ifOperStatus(), {1})));

  ScriptedDevice silent({});
  EXPECT_EQ(walkBoth(silent.client(), 0), (std::vector<std::vector<SNMPVarBind>>(2)));
  EXPECT_THAT(silent.requests(), IsEmpty());
}

TEST(SNMPClientWalkColumns, DisorderInAnyColumnIsMalformed) {
  ScriptedDevice device(
      {reply({nameOf(1, "if1"), statusOf(2, 1), nameOf(2, "if2"), statusOf(1, 1)})});
  EXPECT_EQ(thrownBy<SNMPError>([&] { walkBoth(device.client(), SNMPClient::walkLimit); }),
            SNMPError::malformed());
}

// ---- over a real link ----

// A device on 127.0.0.1 that answers each request it receives through `respond`
// (none: stay silent) and notes the local port each came from.
class LoopbackAgent {
 public:
  using Respond = std::function<std::optional<Bytes>(const SentRequest&, std::size_t index)>;

  LoopbackAgent(std::size_t requests, Respond respond)
      : thread_([this, requests, respond = std::move(respond)] {
          for (std::size_t i = 0; i < requests; ++i) {
            auto datagram = peer_.receive(5000ms);
            if (!datagram) {
              return;
            }
            const auto request = test::readRequest(datagram->bytes);
            if (!request) {
              return;
            }
            sent_.push_back(*request);
            ports_.push_back(datagram->fromPort());
            if (auto answer = respond(*request, i)) {
              peer_.reply(*datagram, *answer);
            }
          }
        }) {}

  // The timeout is long unless a test waits for it: an answer must never miss it.
  SNMPClient client(double timeout = 5.0) const {
    return test::peerClient("127.0.0.1", peer_.port(), "public", timeout);
  }

  // Waits for the agent to finish its requests.
  void join() { thread_.join(); }
  const std::vector<SentRequest>& requests() const { return sent_; }
  const std::vector<std::uint16_t>& ports() const { return ports_; }

 private:
  test::UdpPeer peer_;
  std::vector<SentRequest> sent_;
  std::vector<std::uint16_t> ports_;
  std::jthread thread_;
};

TEST(SNMPClientOverLoopback, GetReturnsTheAgentsAnswer) {
  LoopbackAgent agent(1, [](const SentRequest& r, std::size_t) -> std::optional<Bytes> {
    return test::responseBytes(static_cast<std::int32_t>(r.id), 0, {nameOf(2, "wan")});
  });
  EXPECT_THAT(agent.client().get({child(ifName(), {2})}), ElementsAre(nameOf(2, "wan")));
}

TEST(SNMPClientOverLoopback, SilentAgentCostsTwoAttemptsThenTimeout) {
  LoopbackAgent agent(2, [](const SentRequest&, std::size_t) { return std::nullopt; });
  EXPECT_EQ(thrownBy<SNMPError>([&] { agent.client(0.05).get({ifName()}); }), SNMPError::timeout());
  agent.join();
  ASSERT_EQ(agent.requests().size(), 2U);
  EXPECT_NE(agent.requests()[0].id, agent.requests()[1].id);
}

TEST(SNMPClientOverLoopback, AReplyToAnotherRequestMakesTheRetryUseAFreshFlow) {
  LoopbackAgent agent(2, [](const SentRequest& r, std::size_t index) -> std::optional<Bytes> {
    const auto id = static_cast<std::int32_t>(index == 0 ? r.id ^ 1 : r.id);
    return test::responseBytes(id, 0, {nameOf(1, "lo")});
  });
  EXPECT_THAT(agent.client().get({child(ifName(), {1})}), ElementsAre(nameOf(1, "lo")));
  agent.join();
  ASSERT_EQ(agent.ports().size(), 2U);
  EXPECT_NE(agent.ports()[0], agent.ports()[1]);
}

TEST(SNMPClientOverLoopback, AnUnusableReplyResetsTheSharedLinkAlsoWithATransport) {
  LoopbackAgent agent(2, [](const SentRequest& r, std::size_t) -> std::optional<Bytes> {
    return test::responseBytes(static_cast<std::int32_t>(r.id), 0, {});
  });
  const SNMPClient direct = agent.client();
  SNMPClient scripted = direct;  // shares the link
  scripted.retries = 0;
  scripted.transport = [](const Bytes&) { return Bytes{0x00}; };

  direct.get({ifName()});
  EXPECT_EQ(thrownBy<SNMPError>([&] { scripted.get({ifName()}); }), SNMPError::malformed());
  direct.get({ifName()});
  agent.join();
  ASSERT_EQ(agent.ports().size(), 2U);
  EXPECT_NE(agent.ports()[0], agent.ports()[1]);
}

TEST(SNMPClientOverLoopback, SuccessfulRequestsKeepTheFlow) {
  LoopbackAgent agent(3, [](const SentRequest& r, std::size_t) -> std::optional<Bytes> {
    return test::responseBytes(static_cast<std::int32_t>(r.id), 0, {});
  });
  const SNMPClient client = agent.client();
  for (int i = 0; i < 3; ++i) {
    client.get({ifName()});
  }
  agent.join();
  ASSERT_EQ(agent.ports().size(), 3U);
  EXPECT_EQ(agent.ports()[0], agent.ports()[1]);
  EXPECT_EQ(agent.ports()[1], agent.ports()[2]);
}

}  // namespace
}  // namespace pulsewell
