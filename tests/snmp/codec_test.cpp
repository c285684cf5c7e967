#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "snmp/snmp_codec.h"

namespace pulsewell {

// Readable failure messages for the codec's records.
void PrintTo(const SNMPValue& value, std::ostream* os) {
  switch (value.kind()) {
    case SNMPValue::Kind::integer:
      *os << "integer(" << *value.asInteger() << ")";
      return;
    case SNMPValue::Kind::unsignedInteger:
      *os << "unsigned(" << *value.asUnsigned() << ")";
      return;
    case SNMPValue::Kind::bytes:
      *os << "bytes(" << testing::PrintToString(*value.asBytes()) << ")";
      return;
    case SNMPValue::Kind::oid:
      *os << "oid(" << testing::PrintToString(*value.asOID()) << ")";
      return;
    case SNMPValue::Kind::null:
      *os << "null";
      return;
    case SNMPValue::Kind::missing:
      *os << "missing";
      return;
  }
}

void PrintTo(const SNMPVarBind& bind, std::ostream* os) {
  *os << testing::PrintToString(bind.oid) << " = ";
  PrintTo(bind.value, os);
}

namespace SNMPCodec {
void PrintTo(const Response& response, std::ostream* os) {
  *os << "{id " << response.id << ", errorStatus " << response.errorStatus << ", "
      << testing::PrintToString(response.varBinds) << "}";
}
}  // namespace SNMPCodec

namespace {

using SNMPCodec::Request;
using SNMPCodec::Response;

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::uint64_t kUInt64Max = std::numeric_limits<std::uint64_t>::max();

const OID& ifNameColumn() {
  static const OID value = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1};
  return value;
}
const OID& ifName5() {
  static const OID value = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1, 5};
  return value;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

// An element with a short-form length, written without the codec so that it can serve
// as an independent reference. Parts may carry deliberately broken raw bytes.
Bytes el(std::uint8_t tag, std::initializer_list<Bytes> parts) {
  Bytes content = concat(parts);
  if (content.size() > 127) throw std::logic_error("test element too long for short form");
  Bytes out = {tag, static_cast<std::uint8_t>(content.size())};
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

// Test names for parameterised tables whose cases carry a `name`.
struct CaseName {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& param) const {
    return param.param.name;
  }
};

Bytes repeated(std::uint8_t byte, std::size_t count) {
  return Bytes(count, byte);
}

// ---------------------------------------------------------------------------------------
// Encoding

// The tail every get for ifName.5 with request-id 1 ends with.
const Bytes& getIfName5Pdu() {
  static const Bytes value = {
      0xA0, 0x1C,                                                                    // GetRequest
      0x02, 0x01, 0x01,                                                              // request-id 1
      0x02, 0x01, 0x00,                                                              // error-status
      0x02, 0x01, 0x00,                                                              // error-index
      0x30, 0x11,                                                                    // bindings
      0x30, 0x0F,                                                                    // one VarBind
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01, 0x01, 0x01, 0x01, 0x05,  // ifName.5
      0x05, 0x00,                                                                    // NULL
  };
  return value;
}

// The tail every getBulk from ifName with request-id 1 ends with.
const Bytes& bulkIfNamePdu() {
  static const Bytes value = {
      0xA5, 0x1B,                                                              // GetBulkRequest
      0x02, 0x01, 0x01,                                                        // request-id 1
      0x02, 0x01, 0x00,                                                        // non-repeaters 0
      0x02, 0x01, 0x14,                                                        // max-repetitions 20
      0x30, 0x10,                                                              // bindings
      0x30, 0x0E,                                                              // one VarBind
      0x06, 0x0A, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01, 0x01, 0x01, 0x01,  // ifName
      0x05, 0x00,                                                              // NULL
  };
  return value;
}

TEST(CodecEncode, GetForIfName5WithShortCommunity) {
  const Bytes expected = concat({
      {0x30, 0x29},                                // Message, 35 + 6 bytes
      {0x02, 0x01, 0x01},                          // version 2c
      {0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c'},  // community "public"
      getIfName5Pdu(),
  });
  EXPECT_EQ(SNMPCodec::encode(Request::get, 1, "public", {ifName5()}), expected);
}

TEST(CodecEncode, GetBulkFromIfNameWithShortCommunity) {
  const Bytes expected = concat({
      {0x30, 0x28},                                // Message, 34 + 6 bytes
      {0x02, 0x01, 0x01},                          // version 2c
      {0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c'},  // community "public"
      bulkIfNamePdu(),
  });
  EXPECT_EQ(SNMPCodec::encode(Request::getBulk, 1, "public", {ifNameColumn()}), expected);
}

struct CommunityCase {
  const char* name;
  Request kind;
  std::size_t communityLength;
  Bytes head;  // message header, version and community header, before the community bytes
};

// The case as its test name shows it.
void PrintTo(const CommunityCase& c, std::ostream* out) {
  *out << c.name;
}

class CodecEncodeCommunity : public testing::TestWithParam<CommunityCase> {};

TEST_P(CodecEncodeCommunity, LengthFormsShiftTheFollowingBytes) {
  const CommunityCase& c = GetParam();
  const std::string community(c.communityLength, 'x');
  const Bytes expected = concat({c.head, Bytes(community.begin(), community.end()),
                                 c.kind == Request::get ? getIfName5Pdu() : bulkIfNamePdu()});
  const OID& oid = c.kind == Request::get ? ifName5() : ifNameColumn();
  EXPECT_EQ(SNMPCodec::encode(c.kind, 1, community, {oid}), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodecEncodeCommunity,
    testing::Values(
        // Empty community: 04 00.
        CommunityCase{"Empty", Request::get, 0, {0x30, 0x23, 0x02, 0x01, 0x01, 0x04, 0x00}},
        // 35 + 92 = 127: the last message length in short form.
        CommunityCase{"Get92", Request::get, 92, {0x30, 0x7F, 0x02, 0x01, 0x01, 0x04, 0x5C}},
        // 35 + 93 = 128: the message switches to 81 80, the community stays short.
        CommunityCase{"Get93", Request::get, 93, {0x30, 0x81, 0x80, 0x02, 0x01, 0x01, 0x04, 0x5D}},
        // Community 128 -> 04 81 80; message 3 + 131 + 30 = 164 -> 30 81 A4.
        CommunityCase{
            "Get128", Request::get, 128, {0x30, 0x81, 0xA4, 0x02, 0x01, 0x01, 0x04, 0x81, 0x80}},
        // Community 200 -> 04 81 C8; message 3 + 203 + 30 = 236 -> 30 81 EC.
        CommunityCase{
            "Get200", Request::get, 200, {0x30, 0x81, 0xEC, 0x02, 0x01, 0x01, 0x04, 0x81, 0xC8}},
        // Community 200; message 3 + 203 + 29 = 235 -> 30 81 EB.
        CommunityCase{"Bulk200",
                      Request::getBulk,
                      200,
                      {0x30, 0x81, 0xEB, 0x02, 0x01, 0x01, 0x04, 0x81, 0xC8}},
        // Community 300 -> 04 82 01 2C; message 3 + 304 + 30 = 337 -> 30 82 01 51.
        CommunityCase{"Get300",
                      Request::get,
                      300,
                      {0x30, 0x82, 0x01, 0x51, 0x02, 0x01, 0x01, 0x04, 0x82, 0x01, 0x2C}}),
    CaseName{});

TEST(CodecEncode, GetWithoutOIDsHasAnEmptyBindingList) {
  const Bytes expected = {
      0x30, 0x13,                          // Message, 19 bytes
      0x02, 0x01, 0x01,                    // version 2c
      0x04, 0x01, 'c',                     // community "c"
      0xA0, 0x0B,                          // GetRequest, 11 bytes
      0x02, 0x01, 0x07,                    // request-id 7
      0x02, 0x01, 0x00, 0x02, 0x01, 0x00,  // error-status, error-index
      0x30, 0x00,                          // no bindings
  };
  EXPECT_EQ(SNMPCodec::encode(Request::get, 7, "c", {}), expected);
}

TEST(CodecEncode, SeveralOIDsKeepTheirOrder) {
  const Bytes expected = {
      0x30, 0x20,                                // Message, 32 bytes
      0x02, 0x01, 0x01,                          // version 2c
      0x04, 0x00,                                // community ""
      0xA0, 0x19,                                // GetRequest, 25 bytes
      0x02, 0x01, 0x02,                          // request-id 2
      0x02, 0x01, 0x00, 0x02, 0x01, 0x00,        // error-status, error-index
      0x30, 0x0E,                                // bindings, 14 bytes
      0x30, 0x05, 0x06, 0x01, 0x2B, 0x05, 0x00,  // 1.3 = NULL
      0x30, 0x05, 0x06, 0x01, 0x50, 0x05, 0x00,  // 2.0 = NULL
  };
  EXPECT_EQ(SNMPCodec::encode(Request::get, 2, "", {{1, 3}, {2, 0}}), expected);
}

struct RequestIdCase {
  std::int32_t id;
  Bytes element;
};

TEST(CodecEncode, RequestIdsUseTheShortestInteger) {
  const std::vector<RequestIdCase> cases = {
      {1, {0x02, 0x01, 0x01}},
      {128, {0x02, 0x02, 0x00, 0x80}},
      {static_cast<std::int32_t>(kInt32Max), {0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}},
  };
  for (const RequestIdCase& c : cases) {
    SCOPED_TRACE(c.id);
    const Bytes message = SNMPCodec::encode(Request::get, c.id, "", {});
    // 30 LL, version (3), community 04 00 (2), PDU tag and length (2): the id follows.
    const Bytes element(message.begin() + 9,
                        message.begin() + 9 + static_cast<std::ptrdiff_t>(c.element.size()));
    EXPECT_EQ(element, c.element);
  }
}

struct IntegerCase {
  std::int64_t value;
  Bytes element;
};

TEST(CodecEncode, IntegerIsMinimalTwosComplement) {
  const std::vector<IntegerCase> cases = {
      {0, {0x02, 0x01, 0x00}},
      {127, {0x02, 0x01, 0x7F}},
      {128, {0x02, 0x02, 0x00, 0x80}},
      {256, {0x02, 0x02, 0x01, 0x00}},
      {-1, {0x02, 0x01, 0xFF}},
      {-128, {0x02, 0x01, 0x80}},
      {-129, {0x02, 0x02, 0xFF, 0x7F}},
      {kInt32Max, {0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}},
      {std::numeric_limits<std::int64_t>::max(),
       {0x02, 0x08, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {std::numeric_limits<std::int64_t>::min(),
       {0x02, 0x08, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
  };
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(SNMPCodec::integer(c.value), c.element);
  }
}

struct LengthCase {
  std::size_t contentLength;
  Bytes header;  // tag and length bytes
};

TEST(CodecEncode, LengthUsesShortFormThenTheShortestLongForm) {
  const std::vector<LengthCase> cases = {
      {0, {0x04, 0x00}},
      {127, {0x04, 0x7F}},
      {128, {0x04, 0x81, 0x80}},
      {255, {0x04, 0x81, 0xFF}},
      {256, {0x04, 0x82, 0x01, 0x00}},
      {65535, {0x04, 0x82, 0xFF, 0xFF}},
      {65536, {0x04, 0x83, 0x01, 0x00, 0x00}},
      {16777216, {0x04, 0x84, 0x01, 0x00, 0x00, 0x00}},
  };
  for (const LengthCase& c : cases) {
    SCOPED_TRACE(c.contentLength);
    const Bytes content = repeated(0xAB, c.contentLength);
    const Bytes element = SNMPCodec::tlv(0x04, content);
    ASSERT_EQ(element.size(), c.header.size() + c.contentLength);
    EXPECT_EQ(
        Bytes(element.begin(), element.begin() + static_cast<std::ptrdiff_t>(c.header.size())),
        c.header);
    EXPECT_EQ(Bytes(element.begin() + static_cast<std::ptrdiff_t>(c.header.size()), element.end()),
              content);
  }
}

struct OIDBytesCase {
  OID oid;
  Bytes content;
};

TEST(CodecEncode, OIDContentIsBase128WithThePackedFirstPair) {
  const std::vector<OIDBytesCase> cases = {
      {{1, 3, 6, 1, 2, 1, 2, 2, 1, 8, 200},
       {0x2B, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02, 0x01, 0x08, 0x81, 0x48}},
      {{0, 0}, {0x00}},
      {{1, 3, 0}, {0x2B, 0x00}},
      {{2, 999}, {0x88, 0x37}},
      {{1, 3, 127, 128, 16383, 16384}, {0x2B, 0x7F, 0x81, 0x00, 0xFF, 0x7F, 0x81, 0x80, 0x00}},
      {{1, 3, 0xFFFFFFFF}, {0x2B, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
      // 40 * 107374182 + 15 = 2^32 - 1: the largest first pair.
      {{107374182, 15}, {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
  };
  for (const OIDBytesCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.oid));
    EXPECT_EQ(SNMPCodec::oidBytes(c.oid), c.content);
  }
}

TEST(CodecEncode, RejectsOIDsOutsideItsLimits) {
  const std::vector<OID> invalid = {{}, {1}, {107374182, 16}, {0xFFFFFFFF, 0}};
  for (const OID& oid : invalid) {
    SCOPED_TRACE(testing::PrintToString(oid));
    EXPECT_THROW(SNMPCodec::oidBytes(oid), std::invalid_argument);
    EXPECT_THROW(SNMPCodec::encode(Request::get, 1, "public", {ifName5(), oid}),
                 std::invalid_argument);
  }
}

// ---------------------------------------------------------------------------------------
// Reader

TEST(CodecReader, NextReadsShortAndLongFormLengths) {
  const Bytes bytes = {
      0x04, 0x02, 'a',  'b',                    // short form
      0x04, 0x81, 0x01, 'c',                    // long form, one length byte
      0x04, 0x84, 0x00, 0x00, 0x00, 0x01, 'd',  // long form, four length bytes
      0x05, 0x00,                               // empty body
  };
  SNMPCodec::Reader reader(bytes);
  const std::vector<Bytes> bodies = {{'a', 'b'}, {'c'}, {'d'}, {}};
  for (const Bytes& body : bodies) {
    const auto element = reader.next();
    ASSERT_TRUE(element);
    EXPECT_EQ(Bytes(element->body.begin(), element->body.end()), body);
  }
  EXPECT_TRUE(reader.atEnd());
  EXPECT_FALSE(reader.next());
}

struct RefusedCase {
  const char* name;
  Bytes bytes;
};

TEST(CodecReader, NextRefusesElementsThatDoNotFit) {
  const std::vector<RefusedCase> cases = {
      {"empty", {}},
      {"tag only", {0x04}},
      {"indefinite length", {0x04, 0x80, 'a', 0x00, 0x00}},
      {"five length bytes", {0x04, 0x85, 0x00, 0x00, 0x00, 0x00, 0x01, 'a'}},
      {"long form without its length bytes", {0x04, 0x82, 0x01}},
      {"short length beyond the bytes", {0x04, 0x03, 'a', 'b'}},
      {"four-byte length beyond the bytes", {0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    SNMPCodec::Reader reader(c.bytes);
    EXPECT_FALSE(reader.next());
  }
}

TEST(CodecReader, FailedReadConsumesNothing) {
  const Bytes bytes = {0x04, 0x01, 'a', 0x02, 0x01, 0x07};
  SNMPCodec::Reader reader(bytes);
  EXPECT_FALSE(reader.integerValue());  // an OCTET STRING is not an INTEGER
  const auto element = reader.next();
  ASSERT_TRUE(element);
  EXPECT_EQ(element->tag, 0x04);
  EXPECT_EQ(reader.integerValue(), 7);
}

struct IntegerValueCase {
  Bytes element;
  std::optional<std::int64_t> value;
};

TEST(CodecReader, IntegerValueSignExtendsOneToEightBytes) {
  const std::vector<IntegerValueCase> cases = {
      {{0x02, 0x01, 0x00}, 0},
      {{0x02, 0x01, 0x7F}, 127},
      {{0x02, 0x01, 0x80}, -128},
      {{0x02, 0x01, 0xFF}, -1},
      {{0x02, 0x02, 0x00, 0x80}, 128},
      {{0x02, 0x02, 0xFF, 0x7F}, -129},
      {{0x02, 0x02, 0x00, 0x01}, 1},  // not minimal, still the same number
      {{0x02, 0x05, 0x00, 0x80, 0x00, 0x00, 0x00}, 2147483648},
      {{0x02, 0x08, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       std::numeric_limits<std::int64_t>::max()},
      {{0x02, 0x08, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
       std::numeric_limits<std::int64_t>::min()},
      {{0x02, 0x00}, std::nullopt},                                                        // empty
      {{0x02, 0x09, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, std::nullopt},  // 9
      {{0x41, 0x01, 0x01}, std::nullopt},  // Counter32 is not an INTEGER
  };
  for (const IntegerValueCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.element));
    SNMPCodec::Reader reader(c.element);
    EXPECT_EQ(reader.integerValue(), c.value);
  }
}

TEST(CodecReader, IntegerRoundTrips) {
  const std::vector<std::int64_t> values = {0,
                                            1,
                                            -1,
                                            127,
                                            128,
                                            -128,
                                            -129,
                                            255,
                                            256,
                                            32767,
                                            32768,
                                            -32769,
                                            kInt32Max,
                                            kInt32Min,
                                            std::numeric_limits<std::int64_t>::max(),
                                            std::numeric_limits<std::int64_t>::min()};
  for (const std::int64_t value : values) {
    const Bytes element = SNMPCodec::integer(value);
    SNMPCodec::Reader reader(element);
    EXPECT_EQ(reader.integerValue(), value);
    EXPECT_TRUE(reader.atEnd());
  }
}

// ---------------------------------------------------------------------------------------
// Content decoders

struct DecodeOIDCase {
  Bytes body;
  std::optional<OID> oid;
};

TEST(CodecDecodeOID, SplitsTheFirstSubIdentifierAndGuards32Bits) {
  const std::vector<DecodeOIDCase> cases = {
      {{0x2B}, OID{1, 3}},
      {{0x50}, OID{2, 0}},
      {{0x88, 0x37}, OID{2, 999}},
      {{0x00}, OID{0, 0}},
      {{0x27}, OID{0, 39}},
      {{0x28}, OID{1, 0}},
      {{0x4F}, OID{1, 39}},
      {{0x2B, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02, 0x01, 0x08, 0x81, 0x48},
       OID{1, 3, 6, 1, 2, 1, 2, 2, 1, 8, 200}},
      {{0x2B, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, OID{1, 3, 0xFFFFFFFF}},  // 2^32 - 1
      {{0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, OID{2, 0xFFFFFFFF - 80}},
      {{0x2B, 0x80, 0x80, 0x05}, OID{1, 3, 5}},  // leading 0x80 groups are accepted
      {{}, std::nullopt},
      {{0x2B, 0x81}, std::nullopt},                          // unfinished last sub-identifier
      {{0x81}, std::nullopt},                                // unfinished first sub-identifier
      {{0x2B, 0x90, 0x80, 0x80, 0x80, 0x00}, std::nullopt},  // 2^32
      {{0x90, 0x80, 0x80, 0x80, 0x00}, std::nullopt},        // 2^32 in the packed pair
      {{0x2B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, std::nullopt},  // far beyond 32 bits
  };
  for (const DecodeOIDCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.body));
    EXPECT_EQ(SNMPCodec::decodeOID(c.body), c.oid);
  }
}

TEST(CodecDecodeOID, RoundTripsWhatItEncodes) {
  const std::vector<OID> oids = {ifName5(), {0, 0}, {2, 999, 3}, {1, 3, 0xFFFFFFFF, 0}};
  for (const OID& oid : oids)
    EXPECT_EQ(SNMPCodec::decodeOID(SNMPCodec::oidBytes(oid)), oid);
}

struct UnsignedCase {
  Bytes body;
  std::optional<std::uint64_t> value;
};

TEST(CodecDecodeUnsigned, AcceptsOneLeadingZeroBeforeEightBytes) {
  const std::vector<UnsignedCase> cases = {
      {{0x00}, 0},
      {{0x00, 0x00}, 0},
      {{0x7F}, 127},
      {{0xFF}, 255},
      {{0x00, 0xFF}, 255},
      {{0x01, 0x00}, 256},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFF},
      {{0x01, 0x00, 0x00, 0x00, 0x00}, 0x100000000},  // not checked against 32 bits
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kUInt64Max},
      {{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kUInt64Max},
      {{}, std::nullopt},
      {{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, std::nullopt},        // 9, no zero
      {{0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, std::nullopt},  // 2 zeros
  };
  for (const UnsignedCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.body));
    EXPECT_EQ(SNMPCodec::decodeUnsigned(c.body), c.value);
  }
}

// ---------------------------------------------------------------------------------------
// Responses

Bytes version2c() {
  return {0x02, 0x01, 0x01};
}
Bytes publicCommunity() {
  return {0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c'};
}
Bytes id42() {
  return {0x02, 0x01, 0x2A};
}
Bytes zero() {
  return {0x02, 0x01, 0x00};
}
// The name 1.3.
Bytes name13() {
  return {0x06, 0x01, 0x2B};
}
Bytes ifName5Name() {
  return {0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01, 0x01, 0x01, 0x01, 0x05};
}

// A Response for request-id 42, community "public", ifName.5 = "eth0", written out.
const Bytes& ifNameReply() {
  static const Bytes value = {
      0x30, 0x2D,                                                                    // Message
      0x02, 0x01, 0x01,                                                              // version 2c
      0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',                                 // community
      0xA2, 0x20,                                                                    // Response
      0x02, 0x01, 0x2A,                                                              // id 42
      0x02, 0x01, 0x00,                                                              // error-status
      0x02, 0x01, 0x00,                                                              // error-index
      0x30, 0x15,                                                                    // bindings
      0x30, 0x13,                                                                    // VarBind
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01, 0x01, 0x01, 0x01, 0x05,  // ifName.5
      0x04, 0x04, 'e',  't',  'h',  '0',                                             // "eth0"
  };
  return value;
}
// ifNameReply() from the Response PDU on.
const Bytes& ifNamePdu() {
  static const Bytes value(ifNameReply().begin() + 13, ifNameReply().end());
  return value;
}
// ifNameReply()'s message content.
const Bytes& ifNameContent() {
  static const Bytes value(ifNameReply().begin() + 2, ifNameReply().end());
  return value;
}

const Response& ifNameResponse() {
  static const Response value{42, 0, {{ifName5(), SNMPValue::bytes("eth0")}}};
  return value;
}

Bytes varBind(const Bytes& name, const Bytes& value) {
  return el(0x30, {name, value});
}

Bytes replyWith(std::initializer_list<Bytes> bindings) {
  return el(0x30, {version2c(), publicCommunity(),
                   el(0xA2, {id42(), zero(), zero(), el(0x30, bindings)})});
}

struct ResponseCase {
  const char* name;
  Bytes datagram;
  std::optional<Response> expected;
};

// The case as its test name shows it.
void PrintTo(const ResponseCase& c, std::ostream* out) {
  *out << c.name;
}

class CodecDecodeResponse : public testing::TestWithParam<ResponseCase> {};

TEST_P(CodecDecodeResponse, Decodes) {
  const ResponseCase& c = GetParam();
  // An exact-size copy, so that a sanitizer build catches any read past the datagram.
  const auto copy = std::make_unique<std::uint8_t[]>(c.datagram.size());
  std::copy(c.datagram.begin(), c.datagram.end(), copy.get());
  EXPECT_EQ(SNMPCodec::decodeResponse(ByteView(copy.get(), c.datagram.size())), c.expected);
}

const Bytes& bindEth0() {
  static const Bytes value = varBind(ifName5Name(), {0x04, 0x04, 'e', 't', 'h', '0'});
  return value;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CodecDecodeResponse,
    testing::Values(
        ResponseCase{"WrittenOut", ifNameReply(), ifNameResponse()},
        ResponseCase{"BuiltTheSameWay", replyWith({bindEth0()}), ifNameResponse()},
        ResponseCase{"TrailingGarbageIgnored", concat({ifNameReply(), {0xDE, 0xAD, 0x30}}),
                     ifNameResponse()},
        ResponseCase{"EmptyBindings", replyWith({}), Response{42, 0, {}}},
        ResponseCase{
            "SeveralBindingsInWireOrder",
            replyWith({varBind(name13(), {0x02, 0x01, 0x05}),        // 1.3 = 5
                       varBind({0x06, 0x01, 0x50}, {0x05, 0x00})}),  // 2.0 = NULL
            Response{42, 0, {{{1, 3}, SNMPValue::integer(5)}, {{2, 0}, SNMPValue::null()}}}},
        ResponseCase{"ErrorStatus2DecodesWithItsBindings",
                     el(0x30, {version2c(), publicCommunity(),
                               el(0xA2, {id42(),
                                         {0x02, 0x01, 0x02},
                                         {0x02, 0x01, 0x01},  // noSuchName, 1
                                         el(0x30, {bindEth0()})})}),
                     Response{42, 2, {{ifName5(), SNMPValue::bytes("eth0")}}}},
        ResponseCase{"NegativeErrorStatusIsKept",
                     el(0x30, {version2c(), publicCommunity(),
                               el(0xA2, {id42(), {0x02, 0x01, 0xFF}, zero(), el(0x30, {})})}),
                     Response{42, -1, {}}},
        ResponseCase{"EmptyCommunity", el(0x30, {version2c(), {0x04, 0x00}, ifNamePdu()}),
                     ifNameResponse()},
        ResponseCase{
            "RequestIdInt32Max",
            el(0x30,
               {version2c(), publicCommunity(),
                el(0xA2, {{0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}, zero(), zero(), el(0x30, {})})}),
            Response{static_cast<std::int32_t>(kInt32Max), 0, {}}},
        ResponseCase{
            "RequestIdInt32Min",
            el(0x30,
               {version2c(), publicCommunity(),
                el(0xA2, {{0x02, 0x04, 0x80, 0x00, 0x00, 0x00}, zero(), zero(), el(0x30, {})})}),
            Response{static_cast<std::int32_t>(kInt32Min), 0, {}}},
        ResponseCase{"BytesAfterPduIgnored", el(0x30, {ifNameContent(), {0x05, 0x00}}),
                     ifNameResponse()},
        ResponseCase{
            "BytesAfterBindingsInPduIgnored",
            el(0x30,
               {version2c(), publicCommunity(),
                el(0xA2, {id42(), zero(), zero(), el(0x30, {bindEth0()}), {0x04, 0x01, 'z'}})}),
            ifNameResponse()},
        ResponseCase{
            "BytesAfterValueInBindingIgnored",
            replyWith({el(0x30, {ifName5Name(), {0x04, 0x04, 'e', 't', 'h', '0'}, {0x05, 0x00}})}),
            ifNameResponse()},
        // Long-form lengths are read wherever an element is.
        ResponseCase{"LongFormOuterLength",
                     concat({{0x30, 0x84, 0x00, 0x00, 0x00, 0x2D}, ifNameContent()}),
                     ifNameResponse()},
        ResponseCase{"LongFormValueLength",
                     replyWith({varBind(ifName5Name(), {0x04, 0x81, 0x04, 'e', 't', 'h', '0'})}),
                     ifNameResponse()}),
    CaseName{});

INSTANTIATE_TEST_SUITE_P(
    Refused, CodecDecodeResponse,
    testing::Values(
        ResponseCase{"Empty", {}, std::nullopt}, ResponseCase{"TagOnly", {0x30}, std::nullopt},
        ResponseCase{"Truncated", Bytes(ifNameReply().begin(), ifNameReply().end() - 1),
                     std::nullopt},
        ResponseCase{"OuterNotSequence", el(0x31, {ifNameContent()}), std::nullopt},
        ResponseCase{"Version0", el(0x30, {{0x02, 0x01, 0x00}, publicCommunity(), ifNamePdu()}),
                     std::nullopt},
        ResponseCase{"Version3", el(0x30, {{0x02, 0x01, 0x03}, publicCommunity(), ifNamePdu()}),
                     std::nullopt},
        ResponseCase{"VersionMissing", el(0x30, {publicCommunity(), ifNamePdu()}), std::nullopt},
        ResponseCase{"CommunityNotOctetString", el(0x30, {version2c(), {0x05, 0x00}, ifNamePdu()}),
                     std::nullopt},
        ResponseCase{"GetRequestTag",
                     el(0x30, {version2c(), publicCommunity(),
                               el(0xA0, {id42(), zero(), zero(), el(0x30, {bindEth0()})})}),
                     std::nullopt},
        ResponseCase{"ReportTag",
                     el(0x30, {version2c(), publicCommunity(),
                               el(0xA8, {id42(), zero(), zero(), el(0x30, {bindEth0()})})}),
                     std::nullopt},
        ResponseCase{
            "RequestId2To31",
            el(0x30,
               {version2c(), publicCommunity(),
                el(0xA2,
                   {{0x02, 0x05, 0x00, 0x80, 0x00, 0x00, 0x00}, zero(), zero(), el(0x30, {})})}),
            std::nullopt},
        ResponseCase{
            "RequestIdBelowInt32Min",
            el(0x30,
               {version2c(), publicCommunity(),
                el(0xA2,
                   {{0x02, 0x05, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF}, zero(), zero(), el(0x30, {})})}),
            std::nullopt},
        ResponseCase{
            "ErrorStatusNineBytes",
            el(0x30, {version2c(), publicCommunity(),
                      el(0xA2, {id42(),
                                {0x02, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02},
                                zero(),
                                el(0x30, {})})}),
            std::nullopt},
        ResponseCase{"ErrorIndexEmpty",
                     el(0x30, {version2c(), publicCommunity(),
                               el(0xA2, {id42(), zero(), {0x02, 0x00}, el(0x30, {})})}),
                     std::nullopt},
        ResponseCase{"ErrorIndexMissing",
                     el(0x30, {version2c(), publicCommunity(), el(0xA2, {id42(), zero()})}),
                     std::nullopt},
        ResponseCase{"BindingsMissing",
                     el(0x30, {version2c(), publicCommunity(), el(0xA2, {id42(), zero(), zero()})}),
                     std::nullopt},
        ResponseCase{"BindingsNotSequence",
                     el(0x30, {version2c(), publicCommunity(),
                               el(0xA2, {id42(), zero(), zero(), el(0x31, {bindEth0()})})}),
                     std::nullopt},
        ResponseCase{"BindingNotSequence", replyWith({el(0x31, {ifName5Name(), {0x05, 0x00}})}),
                     std::nullopt},
        ResponseCase{"BindingWithoutValue", replyWith({el(0x30, {ifName5Name()})}), std::nullopt},
        ResponseCase{"BindingNameNotOID", replyWith({varBind({0x04, 0x01, 0x2B}, {0x05, 0x00})}),
                     std::nullopt},
        ResponseCase{"BindingNameUnfinished",
                     replyWith({varBind({0x06, 0x02, 0x2B, 0x81}, {0x05, 0x00})}), std::nullopt},
        ResponseCase{"BindingNameEmpty", replyWith({varBind({0x06, 0x00}, {0x05, 0x00})}),
                     std::nullopt},
        ResponseCase{"JunkBetweenBindings", replyWith({bindEth0(), {0x05}}), std::nullopt},
        ResponseCase{"OneBadBindingSpoilsAll",
                     replyWith({bindEth0(), varBind(name13(), {0x02, 0x00}), bindEth0()}),
                     std::nullopt},
        // Length bytes the decoder refuses, in each element it reads.
        ResponseCase{"IndefiniteOuterLength", concat({{0x30, 0x80}, ifNameContent(), {0x00, 0x00}}),
                     std::nullopt},
        ResponseCase{"FiveLengthBytesOuter",
                     concat({{0x30, 0x85, 0x00, 0x00, 0x00, 0x00, 0x2D}, ifNameContent()}),
                     std::nullopt},
        ResponseCase{"FourByteLengthBeyondDatagram",
                     concat({{0x30, 0x84, 0x00, 0x01, 0x00, 0x00}, ifNameContent()}), std::nullopt},
        ResponseCase{"FourByteLengthMaximal",
                     concat({{0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, ifNameContent()}), std::nullopt},
        ResponseCase{"IndefiniteVersionLength",
                     el(0x30, {{0x02, 0x80, 0x01, 0x00, 0x00}, publicCommunity(), ifNamePdu()}),
                     std::nullopt},
        ResponseCase{"IndefiniteCommunityLength",
                     el(0x30, {version2c(), {0x04, 0x80, 'p', 0x00, 0x00}, ifNamePdu()}),
                     std::nullopt},
        ResponseCase{"FiveLengthBytesPdu",
                     el(0x30, {version2c(), publicCommunity(),
                               concat({{0xA2, 0x85, 0x00, 0x00, 0x00, 0x00, 0x20},
                                       Bytes(ifNamePdu().begin() + 2, ifNamePdu().end())})}),
                     std::nullopt},
        ResponseCase{
            "IndefiniteRequestIdLength",
            el(0x30, {version2c(), publicCommunity(),
                      el(0xA2, {{0x02, 0x80, 0x2A, 0x00, 0x00}, zero(), zero(), el(0x30, {})})}),
            std::nullopt},
        ResponseCase{
            "FourByteLengthBeyondPdu",
            el(0x30,
               {version2c(), publicCommunity(),
                el(0xA2,
                   {id42(), zero(), zero(), {0x30, 0x84, 0x00, 0x00, 0x00, 0x16}, bindEth0()})}),
            std::nullopt},
        ResponseCase{"IndefiniteBindingLength",
                     replyWith({concat({{0x30, 0x80}, name13(), {0x05, 0x00, 0x00, 0x00}})}),
                     std::nullopt},
        ResponseCase{
            "FiveLengthBytesName",
            replyWith({el(0x30, {{0x06, 0x85, 0x00, 0x00, 0x00, 0x00, 0x01, 0x2B}, {0x05, 0x00}})}),
            std::nullopt},
        ResponseCase{"IndefiniteValueLength",
                     replyWith({varBind(name13(), {0x04, 0x80, 'a', 0x00, 0x00})}), std::nullopt},
        ResponseCase{"ValueBeyondBinding",
                     replyWith({concat({{0x30, 0x05}, name13(), {0x04, 0x04, 'e', 't'}})}),
                     std::nullopt},
        ResponseCase{"SequenceOuterLengthOneShort", concat({{0x30, 0x2E}, ifNameContent()}),
                     std::nullopt}),
    CaseName{});

// Values in their place in a reply: one binding 1.3 = the value element.
struct ValueCase {
  const char* name;
  Bytes element;
  std::optional<SNMPValue> value;  // none: the whole reply is refused
};

// The case as its test name shows it.
void PrintTo(const ValueCase& c, std::ostream* out) {
  *out << c.name;
}

class CodecDecodeValue : public testing::TestWithParam<ValueCase> {};

TEST_P(CodecDecodeValue, InAReply) {
  const ValueCase& c = GetParam();
  const std::optional<Response> response =
      SNMPCodec::decodeResponse(replyWith({varBind(name13(), c.element)}));
  if (!c.value) {
    EXPECT_FALSE(response);
    return;
  }
  ASSERT_TRUE(response);
  EXPECT_EQ(*response, (Response{42, 0, {{{1, 3}, *c.value}}}));
}

INSTANTIATE_TEST_SUITE_P(
    Values, CodecDecodeValue,
    testing::Values(
        ValueCase{"IntegerOneByte", {0x02, 0x01, 0x05}, SNMPValue::integer(5)},
        ValueCase{"IntegerNegative", {0x02, 0x02, 0xFF, 0x7F}, SNMPValue::integer(-129)},
        ValueCase{"IntegerEightBytes",
                  {0x02, 0x08, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
                  SNMPValue::integer(std::numeric_limits<std::int64_t>::min())},
        ValueCase{"IntegerEmpty", {0x02, 0x00}, std::nullopt},
        ValueCase{"IntegerNineBytes",
                  {0x02, 0x09, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
                  std::nullopt},
        ValueCase{"OctetString", {0x04, 0x04, 'e', 't', 'h', '0'}, SNMPValue::bytes("eth0")},
        ValueCase{"OctetStringEmpty", {0x04, 0x00}, SNMPValue::bytes(Bytes{})},
        ValueCase{"Null", {0x05, 0x00}, SNMPValue::null()},
        ValueCase{"NullWithBodyIgnored", {0x05, 0x01, 0x07}, SNMPValue::null()},
        ValueCase{"OIDValue", {0x06, 0x02, 0x2B, 0x06}, SNMPValue::oid({1, 3, 6})},
        ValueCase{"OIDValue2Dot999", {0x06, 0x02, 0x88, 0x37}, SNMPValue::oid({2, 999})},
        ValueCase{"OIDValueLastByteTopBit", {0x06, 0x02, 0x2B, 0x86}, std::nullopt},
        ValueCase{"OIDValueSubIdentifier2To32",
                  {0x06, 0x06, 0x2B, 0x90, 0x80, 0x80, 0x80, 0x00},
                  std::nullopt},
        ValueCase{"OIDValueEmpty", {0x06, 0x00}, std::nullopt},
        ValueCase{"IpAddressAsBytes",
                  {0x40, 0x04, 0xC0, 0xA8, 0x01, 0x01},
                  SNMPValue::bytes(Bytes{0xC0, 0xA8, 0x01, 0x01})},
        ValueCase{"Counter32",
                  {0x41, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF},
                  SNMPValue::unsigned32(0xFFFFFFFF)},
        // Wider than its type: taken at the width it came with.
        ValueCase{"Counter32Above32Bits",
                  {0x41, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00},
                  SNMPValue::unsignedInteger(0x100000000)},
        ValueCase{"Gauge32Zero", {0x42, 0x01, 0x00}, SNMPValue::unsigned32(0)},
        ValueCase{"TimeTicks", {0x43, 0x02, 0x01, 0x00}, SNMPValue::unsigned32(256)},
        ValueCase{"Counter64Small", {0x46, 0x01, 0x07}, SNMPValue::unsignedInteger(7)},
        ValueCase{"OpaqueAsBytes", {0x44, 0x02, 0x9F, 0x78}, SNMPValue::bytes(Bytes{0x9F, 0x78})},
        ValueCase{"Counter64Max",
                  {0x46, 0x09, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                  SNMPValue::unsignedInteger(kUInt64Max)},
        ValueCase{"Counter64NineBytesNoLeadingZero",
                  {0x46, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
                  std::nullopt},
        ValueCase{"Counter64Empty", {0x46, 0x00}, std::nullopt},
        ValueCase{"NoSuchObject", {0x80, 0x00}, SNMPValue::missing()},
        ValueCase{"NoSuchInstance", {0x81, 0x00}, SNMPValue::missing()},
        ValueCase{"EndOfMibView", {0x82, 0x00}, SNMPValue::missing()},
        ValueCase{"EndOfMibViewWithBodyIgnored", {0x82, 0x01, 0x00}, SNMPValue::missing()},
        ValueCase{"SequenceAsRawContent",
                  {0x30, 0x03, 0x02, 0x01, 0x07},
                  SNMPValue::bytes(Bytes{0x02, 0x01, 0x07})},
        ValueCase{"UnknownApplicationTag", {0x47, 0x01, 0x01}, SNMPValue::bytes(Bytes{0x01})},
        ValueCase{"UnknownContextTag", {0x83, 0x00}, SNMPValue::bytes(Bytes{})}),
    CaseName{});

// A reply net-snmp's snmpd sent for ifName, ifHCInOctets, ifHCOutOctets and ifOperStatus
// of interface 4.
TEST(CodecDecodeResponse, RealAgentReplyToTheSampleRequest) {
  const Bytes datagram = {
      0x30, 0x6A,                                     // Message, 106 bytes
      0x02, 0x01, 0x01,                               // version 2c
      0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',  // community
      0xA2, 0x5D,                                     // Response, 93 bytes
      0x02, 0x04, 0x19, 0x2E, 0x63, 0x8A,             // request-id 422470538
      0x02, 0x01, 0x00,                               // error-status 0
      0x02, 0x01, 0x00,                               // error-index 0
      0x30, 0x4F,                                     // bindings, 79 bytes
      0x30, 0x13,                                     // VarBind
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01, 0x01, 0x01, 0x01, 0x04,  // ifName.4
      0x04, 0x04, 'e',  't',  'h',  '0',                                             // "eth0"
      0x30, 0x13,                                                                    // VarBind
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01, 0x01, 0x01, 0x06, 0x04,  // ifHCIn.4
      0x46, 0x04, 0x03, 0x38, 0x92, 0x6B,  // Counter64 54039147
      0x30, 0x12,                          // VarBind
      0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F, 0x01, 0x01, 0x01, 0x0A, 0x04,  // ifHCOut.4
      0x46, 0x03, 0x00, 0xD0, 0x70,                                            // Counter64 53360
      0x30, 0x0F,                                                              // VarBind
      0x06, 0x0A, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02, 0x01, 0x08, 0x04,  // ifOperStatus.4
      0x02, 0x01, 0x01,                                                        // up (1)
  };
  const Response expected{
      422470538,
      0,
      {
          {{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1, 4}, SNMPValue::bytes("eth0")},
          {{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 4}, SNMPValue::unsignedInteger(54039147)},
          {{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 10, 4}, SNMPValue::unsignedInteger(53360)},
          {{1, 3, 6, 1, 2, 1, 2, 2, 1, 8, 4}, SNMPValue::integer(1)},
      }};
  EXPECT_EQ(SNMPCodec::decodeResponse(datagram), expected);
}

// The fuzzer's seeds are real replies; they must keep reaching the decoder's deep paths.
struct SeedCase {
  const char* file;
  std::optional<std::size_t> bindings;  // none: the seed is refused
  std::int64_t errorStatus;
};

TEST(CodecDecodeResponse, FuzzSeedsDecodeAsCaptured) {
  const std::vector<SeedCase> cases = {
      {"get_counters", 4, 0},
      {"getbulk_ifname", 20, 0},
      {"error_status_no_access", 1, 6},
      {"end_of_mib_view", 1, 0},
      {"no_such_instance_and_object", 2, 0},
      {"value_types", 5, 0},
      {"long_community", 4, 0},
      {"counter64_max", 1, 0},
      {"truncated_get", std::nullopt, 0},
  };
  for (const SeedCase& c : cases) {
    SCOPED_TRACE(c.file);
    std::ifstream file(std::string(PULSEWELL_SOURCE_DIR) + "/fuzz/corpus/decode_response/" + c.file,
                       std::ios::binary);
    ASSERT_TRUE(file);
    const Bytes datagram((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto response = SNMPCodec::decodeResponse(datagram);
    ASSERT_EQ(response.has_value(), c.bindings.has_value());
    if (!response) continue;
    EXPECT_EQ(response->varBinds.size(), *c.bindings);
    EXPECT_EQ(response->errorStatus, c.errorStatus);
  }
}

// ---------------------------------------------------------------------------------------
// Decoding in place and encoding into a kept buffer: what a caller that asks again and
// again uses. They must give exactly what the plain functions give, whatever the storage
// or buffer held before.

Bytes seed(const char* name) {
  std::ifstream file(std::string(PULSEWELL_SOURCE_DIR) + "/fuzz/corpus/decode_response/" + name,
                     std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::optional<Response> ownedCopy(const std::optional<SNMPCodec::ResponseView>& view) {
  if (!view) return std::nullopt;
  Response response{view->id, view->errorStatus, {}};
  for (const SNMPVarBindView& binding : view->varBinds)
    response.varBinds.push_back(SNMPCodec::owned(binding));
  return response;
}

TEST(CodecDecodeInPlace, OneStorageAgreesWithThePlainDecoderReplyAfterReply) {
  // Large before small and refused between good ones, OID values among them: nothing of
  // an earlier reply may show through, and no view may move while a reply is decoded.
  const std::vector<const char*> files = {
      "getbulk_ifname", "get_counters",          "truncated_get",   "value_types",
      "getbulk_ifname", "long_community",        "end_of_mib_view", "no_such_instance_and_object",
      "counter64_max",  "error_status_no_access"};
  SNMPCodec::DecodeStorage storage;
  for (const char* file : files) {
    SCOPED_TRACE(file);
    const Bytes datagram = seed(file);
    ASSERT_FALSE(datagram.empty());
    EXPECT_EQ(ownedCopy(SNMPCodec::decodeResponse(datagram, storage)),
              SNMPCodec::decodeResponse(datagram));
  }
}

TEST(CodecDecodeInPlace, ByteStringsAreViewsIntoTheDatagram) {
  const Bytes datagram = seed("get_counters");
  SNMPCodec::DecodeStorage storage;
  const auto view = SNMPCodec::decodeResponse(datagram, storage);
  ASSERT_TRUE(view);
  const ByteView* name = view->varBinds.front().value.asBytes();
  ASSERT_NE(name, nullptr);
  EXPECT_GE(name->data(), datagram.data());
  EXPECT_LE(name->data() + name->size(), datagram.data() + datagram.size());
}

TEST(CodecEncode, IntoAKeptBufferGivesExactlyTheFreshMessage) {
  const std::vector<OID> many = {ifName5(), {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 5}, {2, 999}};
  const std::vector<OID> one = {ifNameColumn()};
  Bytes buffer;
  SNMPCodec::encode(Request::get, 0x7FFFFFFF, std::string(150, 'k'), many, buffer);
  EXPECT_EQ(buffer, SNMPCodec::encode(Request::get, 0x7FFFFFFF, std::string(150, 'k'), many));
  SNMPCodec::encode(Request::getBulk, 1, "public", one, buffer);
  EXPECT_EQ(buffer, SNMPCodec::encode(Request::getBulk, 1, "public", one));
  SNMPCodec::encode(Request::get, 2, "", {}, buffer);
  EXPECT_EQ(buffer, SNMPCodec::encode(Request::get, 2, "", {}));
}

// ---------------------------------------------------------------------------------------
// Round trips, as an extra check of encoder and decoder agreeing.

TEST(CodecRoundTrip, OwnRequestIsNotAResponse) {
  EXPECT_FALSE(
      SNMPCodec::decodeResponse(SNMPCodec::encode(Request::get, 9, "public", {ifName5()})));
  EXPECT_FALSE(SNMPCodec::decodeResponse(
      SNMPCodec::encode(Request::getBulk, 9, "public", {ifNameColumn()})));
}

TEST(CodecRoundTrip, RequestWithResponseTagDecodesItsBindings) {
  const std::string community(150, 'k');  // long forms in the message and the community
  const std::vector<OID> oids = {ifName5(), {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 5}, {2, 999}};
  for (const std::int32_t id : {1, 128, static_cast<std::int32_t>(kInt32Max)}) {
    Bytes message = SNMPCodec::encode(Request::get, id, community, oids);
    // 30 81 LL, version (3), 04 81 96 and the community: the PDU tag follows.
    const std::size_t pduTag = 3 + 3 + 3 + community.size();
    ASSERT_EQ(message[pduTag], 0xA0);
    message[pduTag] = 0xA2;
    const auto response = SNMPCodec::decodeResponse(message);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->id, id);
    EXPECT_EQ(response->errorStatus, 0);
    ASSERT_EQ(response->varBinds.size(), oids.size());
    for (std::size_t i = 0; i < oids.size(); ++i) {
      EXPECT_EQ(response->varBinds[i], (SNMPVarBind{oids[i], SNMPValue::null()}));
    }
  }
}

}  // namespace
}  // namespace pulsewell
