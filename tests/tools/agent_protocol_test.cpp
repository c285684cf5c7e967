#include "agent/agent_protocol.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <ostream>
#include <string>

#include "agent/agent_value.h"
#include "snmp/ber_tags.h"
#include "snmp/if_mib.h"
#include "snmp/snmp_codec.h"
#include "tests/tools/agent_test_support.h"

namespace pulsewell::AgentProtocol {

// Readable failures: the OID in dotted form, the value element in hex.
void PrintTo(const Binding& binding, std::ostream* out) {
  for (std::size_t i = 0; i < binding.oid.size(); ++i)
    *out << (i == 0 ? "" : ".") << binding.oid[i];
  *out << " =";
  for (const std::uint8_t byte : binding.value) {
    *out << ' ' << std::hex << std::setw(2) << std::setfill('0') << int{byte} << std::dec;
  }
}

}  // namespace pulsewell::AgentProtocol

namespace pulsewell {
namespace {

using AgentProtocol::Binding;
using AgentProtocol::Reply;
using AgentProtocol::Request;
using IfMib::instance;

using test::handWrittenGet;

Request requestFor(std::uint8_t pdu, std::vector<OID> oids, std::int64_t second = 0,
                   std::int64_t third = 0) {
  Request request;
  request.community = "public";
  request.pdu = pdu;
  request.id = 77;
  request.nonRepeaters = second;
  request.maxRepetitions = third;
  for (OID& oid : oids)
    request.bindings.push_back({std::move(oid), AgentValue::null().encode()});
  return request;
}

Binding binding(OID oid, const AgentValue& value) {
  return {std::move(oid), value.encode()};
}

// ifName rows 1 to `rows` ("if1", "if2", ...) and the ifOperStatus column after them.
AgentTable namesAndStatus(std::uint32_t rows) {
  AgentTable table;
  for (std::uint32_t i = 1; i <= rows; ++i) {
    table.set(instance(IfMib::ifName(), i), AgentValue::octetString("if" + std::to_string(i)));
    table.set(instance(IfMib::ifOperStatus(), i), AgentValue::integer(1));
  }
  return table;
}

TEST(AgentProtocolTest, DecodesAHandWrittenGetRequest) {
  const auto request = AgentProtocol::decodeRequest(handWrittenGet);
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->community, "public");
  EXPECT_EQ(request->pdu, BERTag::getRequest);
  EXPECT_EQ(request->id, 1);
  ASSERT_EQ(request->bindings.size(), 1U);
  EXPECT_EQ(request->bindings[0].oid, instance(IfMib::ifName(), 5));
  EXPECT_EQ(request->bindings[0].value, (Bytes{0x05, 0x00}));
}

struct RefusedCase {
  std::string name;
  Bytes datagram;
};

// The case as its test name shows it.
void PrintTo(const RefusedCase& c, std::ostream* out) {
  *out << c.name;
}

class RefusedRequestTest : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedRequestTest, IsNotARequest) {
  EXPECT_FALSE(AgentProtocol::decodeRequest(GetParam().datagram).has_value());
}

Bytes patched(std::size_t at, std::initializer_list<std::uint8_t> bytes) {
  Bytes copy = handWrittenGet;
  std::size_t i = at;
  for (const std::uint8_t byte : bytes)
    copy[i++] = byte;
  return copy;
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, RefusedRequestTest,
    testing::Values(RefusedCase{"Empty", {}}, RefusedCase{"NotASequence", patched(0, {0x31})},
                    RefusedCase{"VersionOne", patched(4, {0x00})},    // SNMPv1
                    RefusedCase{"VersionThree", patched(4, {0x03})},  // SNMPv3
                    RefusedCase{"CommunityNotAString", patched(5, {0x02})},
                    RefusedCase{"Truncated",
                                Bytes(handWrittenGet.begin(), handWrittenGet.end() - 3)},
                    RefusedCase{"BindingWithoutOid", patched(28, {0x04})},
                    // The OID's last byte has its top bit set: an unfinished sub-identifier.
                    RefusedCase{"UnfinishedOid", patched(40, {0x85})}),
    [](const testing::TestParamInfo<RefusedCase>& testCase) { return testCase.param.name; });

TEST(AgentProtocolTest, EveryOneByteCorruptionIsAnsweredOrRefusedWithinBounds) {
  // Run under the sanitizers this also shows that no corruption reads outside the datagram.
  const AgentTable table = [] {
    AgentTable t;
    t.set(instance(IfMib::ifName(), 5), AgentValue::octetString("eth0"));
    return t;
  }();
  std::size_t answered = 0;
  for (std::size_t at = 0; at < handWrittenGet.size(); ++at) {
    for (int byte = 0; byte < 256; ++byte) {
      Bytes datagram = handWrittenGet;
      datagram[at] = static_cast<std::uint8_t>(byte);
      const auto request = AgentProtocol::decodeRequest(datagram);
      if (!request) continue;
      const auto reply = AgentProtocol::answer(*request, table);
      if (!reply) continue;
      ++answered;
      EXPECT_EQ(reply->id, request->id);
      EXPECT_LE(AgentProtocol::encodeResponse(request->community, *reply).size(),
                AgentProtocol::maxDatagram);
    }
  }
  EXPECT_GT(answered, 0U);
}

TEST(AgentProtocolTest, RequestIdMustFit32Bits) {
  // GetRequest for 1.3, community "p", request-id 2^31 - 1 (four content bytes) ...
  const Bytes largest = {0x30, 0x1D, 0x02, 0x01, 0x01, 0x04, 0x01, 'p',  0xA0, 0x15, 0x02,
                         0x04, 0x7F, 0xFF, 0xFF, 0xFF, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00,
                         0x30, 0x07, 0x30, 0x05, 0x06, 0x01, 0x2B, 0x05, 0x00};
  // ... and the same with 2^31, which needs five.
  const Bytes beyond = {0x30, 0x1E, 0x02, 0x01, 0x01, 0x04, 0x01, 'p',  0xA0, 0x16, 0x02,
                        0x05, 0x00, 0x80, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01,
                        0x00, 0x30, 0x07, 0x30, 0x05, 0x06, 0x01, 0x2B, 0x05, 0x00};
  const auto request = AgentProtocol::decodeRequest(largest);
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->id, 2147483647);
  EXPECT_FALSE(AgentProtocol::decodeRequest(beyond).has_value());
}

TEST(AgentProtocolTest, GetAnswersEachObjectOrNoSuchInstance) {
  AgentTable table;
  table.set(instance(IfMib::ifName(), 5), AgentValue::octetString("eth0"));
  table.set(instance(IfMib::ifHCInOctets(), 5), AgentValue::counter64(99));

  const auto reply = AgentProtocol::answer(
      requestFor(BERTag::getRequest, {instance(IfMib::ifHCInOctets(), 5),
                                      instance(IfMib::ifName(), 6), instance(IfMib::ifName(), 5)}),
      table);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->id, 77);
  EXPECT_EQ(reply->errorStatus, 0);
  EXPECT_EQ(reply->bindings,
            (std::vector<Binding>{
                binding(instance(IfMib::ifHCInOctets(), 5), AgentValue::counter64(99)),
                binding(instance(IfMib::ifName(), 6), AgentValue::noSuchInstance()),
                binding(instance(IfMib::ifName(), 5), AgentValue::octetString("eth0"))}));
}

TEST(AgentProtocolTest, GetNextGivesTheSuccessorOrEndOfMibView) {
  const AgentTable table = namesAndStatus(2);
  const auto reply = AgentProtocol::answer(
      requestFor(BERTag::getNextRequest, {IfMib::ifName(), instance(IfMib::ifName(), 2), {1, 3}}),
      table);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(
      reply->bindings,
      (std::vector<Binding>{binding(instance(IfMib::ifName(), 1), AgentValue::octetString("if1")),
                            binding(instance(IfMib::ifName(), 2), AgentValue::endOfMibView()),
                            // ifOperStatus (ifTable) sorts before ifName (ifXTable).
                            binding(instance(IfMib::ifOperStatus(), 1), AgentValue::integer(1))}));
}

TEST(AgentProtocolTest, GetBulkInterleavesRepeatersAfterNonRepeaters) {
  const AgentTable table = namesAndStatus(3);
  const auto reply = AgentProtocol::answer(
      requestFor(BERTag::getBulkRequest, {{1, 3}, IfMib::ifOperStatus(), IfMib::ifName()},
                 /*nonRepeaters=*/1,
                 /*maxRepetitions=*/2),
      table);
  ASSERT_TRUE(reply.has_value());
  std::vector<OID> oids;
  for (const Binding& b : reply->bindings)
    oids.push_back(b.oid);
  EXPECT_EQ(oids,
            (std::vector<OID>{instance(IfMib::ifOperStatus(), 1),  // the non-repeater's successor
                              instance(IfMib::ifOperStatus(), 1), instance(IfMib::ifName(), 1),
                              instance(IfMib::ifOperStatus(), 2), instance(IfMib::ifName(), 2)}));
}

TEST(AgentProtocolTest, GetBulkStopsAfterTheRowThatEndedEveryColumn) {
  const auto reply = AgentProtocol::answer(
      requestFor(BERTag::getBulkRequest, {IfMib::ifName()}, 0, 20), namesAndStatus(3));
  ASSERT_TRUE(reply.has_value());
  ASSERT_EQ(reply->bindings.size(), 4U);
  EXPECT_EQ(reply->bindings[3], binding(instance(IfMib::ifName(), 3), AgentValue::endOfMibView()));
}

TEST(AgentProtocolTest, GetBulkKeepsRepeatingAColumnThatEndedWhileAnotherGoesOn) {
  const auto reply = AgentProtocol::answer(
      requestFor(BERTag::getBulkRequest,
                 {instance(IfMib::ifName(), 2), instance(IfMib::ifOperStatus(), 1)}, 0, 3),
      namesAndStatus(2));
  ASSERT_TRUE(reply.has_value());
  // Row 1: the name column has ended, the status column moves on to its row 2. Row 2: the
  // status column walks into the name column. Row 3 follows it there.
  ASSERT_EQ(reply->bindings.size(), 6U);
  EXPECT_EQ(reply->bindings[0], binding(instance(IfMib::ifName(), 2), AgentValue::endOfMibView()));
  EXPECT_EQ(reply->bindings[1].oid, instance(IfMib::ifOperStatus(), 2));
  EXPECT_EQ(reply->bindings[2], binding(instance(IfMib::ifName(), 2), AgentValue::endOfMibView()));
  EXPECT_EQ(reply->bindings[3].oid, instance(IfMib::ifName(), 1));
  EXPECT_EQ(reply->bindings[5].oid, instance(IfMib::ifName(), 2));
}

struct BulkCountCase {
  std::string name;
  std::int64_t nonRepeaters;
  std::int64_t maxRepetitions;
  std::size_t oids;
  std::size_t expected;
};

// The case as its test name shows it.
void PrintTo(const BulkCountCase& c, std::ostream* out) {
  *out << c.name;
}

class GetBulkCountTest : public testing::TestWithParam<BulkCountCase> {};

TEST_P(GetBulkCountTest, AnswersThisManyBindings) {
  const BulkCountCase& c = GetParam();
  const std::vector<OID> oids(c.oids, OID{1, 3});
  const auto reply = AgentProtocol::answer(
      requestFor(BERTag::getBulkRequest, oids, c.nonRepeaters, c.maxRepetitions),
      namesAndStatus(200));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->bindings.size(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    RepetitionRules, GetBulkCountTest,
    testing::Values(BulkCountCase{"Twenty", 0, 20, 1, 20},
                    BulkCountCase{"ZeroRepetitionsLeavesOnlyNonRepeaters", 1, 0, 3, 1},
                    BulkCountCase{"NegativeRepetitionsCountAsZero", 0, -5, 2, 0},
                    BulkCountCase{"NegativeNonRepeatersCountAsZero", -1, 2, 2, 4},
                    BulkCountCase{"NonRepeatersBeyondTheListCoverItAll", 9, 20, 3, 3},
                    BulkCountCase{"RepetitionsAreCapped", 0, 1000, 1,
                                  static_cast<std::size_t>(AgentProtocol::maxRepetitionsCap)},
                    BulkCountCase{"CapAppliesPerColumn", 0, 1000, 2,
                                  2 * static_cast<std::size_t>(AgentProtocol::maxRepetitionsCap)}),
    [](const testing::TestParamInfo<BulkCountCase>& testCase) { return testCase.param.name; });

TEST(AgentProtocolTest, ForcedBindingsOverrideMaxRepetitionsAndTheCap) {
  const AgentTable table = namesAndStatus(200);
  const Request request = requestFor(BERTag::getBulkRequest, {IfMib::ifName()}, 0, 20);
  EXPECT_EQ(AgentProtocol::answer(request, table, 25)->bindings.size(), 25U);
  EXPECT_EQ(AgentProtocol::answer(request, table, 150)->bindings.size(), 150U);
  EXPECT_EQ(AgentProtocol::answer(request, table, 3)->bindings.size(), 3U);
}

TEST(AgentProtocolTest, GetBulkIsCutToFitOneDatagram) {
  AgentTable table;
  for (std::uint32_t i = 1; i <= 60; ++i) {
    table.set(instance(IfMib::ifDescr(), i), AgentValue::octetString(std::string(2000, 'x')));
  }
  const Request request = requestFor(BERTag::getBulkRequest, {IfMib::ifDescr()}, 0, 60);
  const auto reply = AgentProtocol::answer(request, table);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->errorStatus, 0);
  EXPECT_GT(reply->bindings.size(), 20U);
  EXPECT_LT(reply->bindings.size(), 60U);
  EXPECT_LE(AgentProtocol::encodeResponse("public", *reply).size(), AgentProtocol::maxDatagram);
  EXPECT_EQ(reply->bindings.front().oid, instance(IfMib::ifDescr(), 1));
}

TEST(AgentProtocolTest, GetTooLargeForOneDatagramIsTooBig) {
  AgentTable table;
  std::vector<OID> oids;
  for (std::uint32_t i = 1; i <= 40; ++i) {
    table.set(instance(IfMib::ifDescr(), i), AgentValue::octetString(std::string(2000, 'x')));
    oids.push_back(instance(IfMib::ifDescr(), i));
  }
  const auto reply = AgentProtocol::answer(requestFor(BERTag::getRequest, oids), table);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->errorStatus, AgentProtocol::errorTooBig);
  EXPECT_EQ(reply->errorIndex, 0);
  EXPECT_TRUE(reply->bindings.empty());
}

TEST(AgentProtocolTest, SetIsRefusedAsNotWritableWithTheBindingsEchoed) {
  Request request = requestFor(BERTag::setRequest, {instance(IfMib::ifName(), 1)});
  request.bindings[0].value = AgentValue::octetString("hacked").encode();
  AgentTable table = namesAndStatus(1);

  const auto reply = AgentProtocol::answer(request, table);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->errorStatus, AgentProtocol::errorNotWritable);
  EXPECT_EQ(reply->errorIndex, 1);
  EXPECT_EQ(reply->bindings, request.bindings);
  EXPECT_EQ(*table.find(instance(IfMib::ifName(), 1)), AgentValue::octetString("if1"));
}

TEST(AgentProtocolTest, PdusAnAgentNeverAnswersGetNoReply) {
  for (const int pdu : {0xA2, 0xA4, 0xA6, 0xA7, 0xA8, 0x30}) {
    EXPECT_FALSE(AgentProtocol::answer(requestFor(static_cast<std::uint8_t>(pdu), {{1, 3}}),
                                       namesAndStatus(1))
                     .has_value())
        << "PDU tag " << pdu;
  }
}

TEST(AgentProtocolTest, ResponseRoundTripsThroughTheDecoder) {
  const Reply reply{.id = -5,
                    .errorStatus = 0,
                    .errorIndex = 0,
                    .bindings = {binding({1, 3, 6, 1}, AgentValue::counter32(7)),
                                 binding({1, 3, 6, 2}, AgentValue::noSuchObject())}};
  const auto decoded =
      SNMPCodec::decodeResponse(AgentProtocol::encodeResponse(std::string(200, 'c'), reply));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->id, -5);
  EXPECT_EQ(decoded->varBinds, (std::vector<SNMPVarBind>{{{1, 3, 6, 1}, SNMPValue::unsigned32(7)},
                                                         {{1, 3, 6, 2}, SNMPValue::missing()}}));
}

}  // namespace
}  // namespace pulsewell
