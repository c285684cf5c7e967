#include "agent/agent_value.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "snmp/ber_tags.h"

namespace pulsewell {
namespace {

struct EncodingCase {
  std::string name;
  AgentValue value;
  Bytes wire;
};

// The case as its test name shows it.
void PrintTo(const EncodingCase& c, std::ostream* out) {
  *out << c.name;
}

class AgentValueEncodingTest : public testing::TestWithParam<EncodingCase> {};

TEST_P(AgentValueEncodingTest, EncodesTheCompleteElement) {
  EXPECT_EQ(GetParam().value.encode(), GetParam().wire);
}

INSTANTIATE_TEST_SUITE_P(
    Wire, AgentValueEncodingTest,
    testing::Values(
        EncodingCase{"IntegerOne", AgentValue::integer(1), {0x02, 0x01, 0x01}},
        EncodingCase{"IntegerMinus129", AgentValue::integer(-129), {0x02, 0x02, 0xFF, 0x7F}},
        EncodingCase{"OctetString", AgentValue::octetString("lo"), {0x04, 0x02, 'l', 'o'}},
        EncodingCase{"EmptyOctetString", AgentValue::octetString(""), {0x04, 0x00}},
        EncodingCase{"Null", AgentValue::null(), {0x05, 0x00}},
        EncodingCase{
            "ObjectIdentifier",
            AgentValue::objectIdentifier({1, 3, 6, 1, 2, 1, 2, 2, 1, 8, 200}),
            {0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02, 0x01, 0x08, 0x81, 0x48}},
        // Zero is one content byte, not an empty body.
        EncodingCase{"Counter32Zero", AgentValue::counter32(0), {0x41, 0x01, 0x00}},
        // A set top bit gets a leading zero so that it does not read as a sign.
        EncodingCase{"Counter32TopBit", AgentValue::counter32(200), {0x41, 0x02, 0x00, 0xC8}},
        EncodingCase{"Gauge32Max",
                     AgentValue::gauge32(0xFFFFFFFFU),
                     {0x42, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
        EncodingCase{"TimeTicks", AgentValue::timeTicks(256), {0x43, 0x02, 0x01, 0x00}},
        EncodingCase{"Counter64Max",
                     AgentValue::counter64(~std::uint64_t{0}),
                     {0x46, 0x09, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        EncodingCase{"Counter64AboveThirtyTwoBits",
                     AgentValue::counter64(0x1'0000'0001ULL),
                     {0x46, 0x05, 0x01, 0x00, 0x00, 0x00, 0x01}},
        EncodingCase{"NoSuchObject", AgentValue::noSuchObject(), {0x80, 0x00}},
        EncodingCase{"NoSuchInstance", AgentValue::noSuchInstance(), {0x81, 0x00}},
        EncodingCase{"EndOfMibView", AgentValue::endOfMibView(), {0x82, 0x00}}),
    [](const testing::TestParamInfo<EncodingCase>& testCase) { return testCase.param.name; });

TEST(AgentValueTest, FromDecodedValuePicksTheUsualWireType) {
  EXPECT_EQ(AgentValue::from(SNMPValue::integer(-5)), AgentValue::integer(-5));
  EXPECT_EQ(AgentValue::from(SNMPValue::unsignedInteger(7)), AgentValue::counter64(7));
  EXPECT_EQ(AgentValue::from(SNMPValue::unsigned32(7)), AgentValue::counter32(7));
  EXPECT_EQ(AgentValue::from(SNMPValue::bytes("eth0")), AgentValue::octetString("eth0"));
  EXPECT_EQ(AgentValue::from(SNMPValue::oid({1, 3, 6})), AgentValue::objectIdentifier({1, 3, 6}));
  EXPECT_EQ(AgentValue::from(SNMPValue::null()), AgentValue::null());
  EXPECT_EQ(AgentValue::from(SNMPValue::missing()), AgentValue::noSuchInstance());
}

TEST(AgentValueTest, KeepsTheDecodedValueBesideTheTag) {
  const AgentValue counter = AgentValue::counter32(9);
  EXPECT_EQ(counter.tag(), BERTag::counter32);
  EXPECT_EQ(counter.value(), SNMPValue::unsigned32(9));
  EXPECT_NE(counter, AgentValue::gauge32(9));
  EXPECT_EQ(AgentValue::counter64(9).value(), SNMPValue::unsignedInteger(9));
}

TEST(AgentValueTest, RefusesAnObjectIdentifierValueBerCannotCarry) {
  EXPECT_THROW(AgentValue::objectIdentifier({1}), std::invalid_argument);
  EXPECT_THROW(AgentValue::objectIdentifier({5, 1}), std::invalid_argument);
  EXPECT_THROW(AgentValue::objectIdentifier({0, 45}), std::invalid_argument);
}

}  // namespace
}  // namespace pulsewell
