#include "snmp/snmp_codec.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

#include "snmp/ber_tags.h"

namespace pulsewell::SNMPCodec {

namespace {

// The version field's value for SNMP v2c.
constexpr std::int64_t versionTwoC = 1;
// Rows asked for per GetBulk: enough for a router's interface table in a few round trips.
constexpr std::int64_t bulkMaxRepetitions = 20;

// Lengths of more than four bytes describe content no datagram can carry.
constexpr std::size_t maxLengthBytes = 4;
// The largest content whose length the four-byte long form can state.
constexpr std::uint64_t maxContentLength = std::numeric_limits<std::uint32_t>::max();
// Short-form lengths stop here; the top bit announces the long form.
constexpr std::uint8_t longFormFlag = 0x80;
// An INTEGER must fit the signed 64-bit value it decodes to: refused, never truncated.
constexpr std::size_t maxIntegerBody = 8;
// An unsigned value must fit 64 bits once its one optional leading zero is dropped.
constexpr std::size_t maxUnsignedBody = 8;
// At or above this, one more base-128 digit would push a sub-identifier past 32 bits.
constexpr std::uint64_t subIdentifierGuard = std::uint64_t{1} << 25;
// The first sub-identifier packs the first two arcs as 40 * first + second.
constexpr std::uint64_t firstArcFactor = 40;
// The first arc is 0, 1 or 2; everything above 2 * 40 belongs to the second arc.
constexpr std::uint64_t maxFirstArc = 2;
// Base-128 digits with a continuation bit.
constexpr std::uint8_t continuationBit = 0x80;
constexpr std::uint8_t digitMask = 0x7F;
constexpr unsigned digitBits = 7;

void append(Bytes& out, ByteView bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes nullValue() {
  return {BERTag::null, 0x00};
}

// The two's complement body of 1 to 8 bytes as a signed value.
std::optional<std::int64_t> integerFromBody(ByteView body) {
  if (body.empty() || body.size() > maxIntegerBody) return std::nullopt;
  std::uint64_t value = (body.front() & 0x80U) != 0 ? ~std::uint64_t{0} : 0;
  for (const std::uint8_t byte : body)
    value = (value << 8U) | byte;
  return static_cast<std::int64_t>(value);
}

void appendSubIdentifier(Bytes& out, std::uint32_t value) {
  std::array<std::uint8_t, 5> digits{};  // 32 bits need at most five base-128 digits
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<std::uint8_t>(value & digitMask);
    value >>= digitBits;
  } while (value != 0);
  while (count > 1)
    out.push_back(static_cast<std::uint8_t>(digits[--count] | continuationBit));
  out.push_back(digits[0]);
}

}  // namespace

Bytes tlv(std::uint8_t tag, ByteView content) {
  const std::uint64_t n = content.size();
  if (n > maxContentLength) throw std::length_error("BER content longer than 2^32 - 1 bytes");
  Bytes out;
  out.reserve(content.size() + 2 + maxLengthBytes);
  out.push_back(tag);
  if (n < longFormFlag) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else {
    std::size_t k = 1;
    while (k < maxLengthBytes && (n >> (8 * k)) != 0)
      ++k;
    out.push_back(static_cast<std::uint8_t>(longFormFlag | k));
    for (std::size_t i = k; i-- > 0;)
      out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
  }
  append(out, content);
  return out;
}

Bytes integer(std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  std::array<std::uint8_t, 8> full{};
  for (std::size_t i = 0; i < full.size(); ++i) {
    full[i] = static_cast<std::uint8_t>(bits >> (8 * (full.size() - 1 - i)));
  }
  std::size_t start = 0;
  while (start + 1 < full.size()) {
    const bool secondTopBit = (full[start + 1] & 0x80U) != 0;
    const bool redundantZero = full[start] == 0x00 && !secondTopBit;
    const bool redundantOnes = full[start] == 0xFF && secondTopBit;
    if (!redundantZero && !redundantOnes) break;
    ++start;
  }
  return tlv(BERTag::integer, ByteView(full).subspan(start));
}

Bytes oidBytes(const OID& oid) {
  if (oid.size() < 2) throw std::invalid_argument("an OID needs at least two arcs");
  const std::uint64_t first = firstArcFactor * oid[0] + oid[1];
  if (first > std::numeric_limits<std::uint32_t>::max()) {
    throw std::invalid_argument("the first two arcs of the OID do not fit 32 bits");
  }
  Bytes out;
  appendSubIdentifier(out, static_cast<std::uint32_t>(first));
  for (std::size_t i = 2; i < oid.size(); ++i)
    appendSubIdentifier(out, oid[i]);
  return out;
}

Bytes encode(Request kind, std::int32_t id, std::string_view community,
             const std::vector<OID>& oids) {
  Bytes bindings;
  for (const OID& oid : oids) {
    Bytes bind = tlv(BERTag::objectIdentifier, oidBytes(oid));
    append(bind, nullValue());
    append(bindings, tlv(BERTag::sequence, bind));
  }

  const bool bulk = kind == Request::getBulk;
  Bytes pdu = integer(id);
  append(pdu, integer(0));  // error-status, or non-repeaters for GetBulk
  append(pdu, integer(bulk ? bulkMaxRepetitions : 0));  // error-index, or max-repetitions
  append(pdu, tlv(BERTag::sequence, bindings));

  Bytes message = integer(versionTwoC);
  const auto* text = reinterpret_cast<const std::uint8_t*>(community.data());
  append(message, tlv(BERTag::octetString, ByteView(text, community.size())));
  append(message, tlv(bulk ? BERTag::getBulkRequest : BERTag::getRequest, pdu));
  return tlv(BERTag::sequence, message);
}

std::optional<Element> Reader::next() {
  ByteView rest = rest_;
  if (rest.empty()) return std::nullopt;
  const std::uint8_t tag = rest.front();
  rest = rest.subspan(1);
  if (rest.empty()) return std::nullopt;
  const std::uint8_t first = rest.front();
  rest = rest.subspan(1);

  std::uint64_t length = first;
  if ((first & longFormFlag) != 0) {
    const std::size_t k = first & digitMask;
    if (k < 1 || k > maxLengthBytes || rest.size() < k) return std::nullopt;
    length = 0;
    for (std::size_t i = 0; i < k; ++i)
      length = (length << 8U) | rest[i];
    rest = rest.subspan(k);
  }
  if (rest.size() < length) return std::nullopt;

  const auto size = static_cast<std::size_t>(length);
  Element element{tag, rest.first(size)};
  rest_ = rest.subspan(size);
  return element;
}

std::optional<std::int64_t> Reader::integerValue() {
  const ByteView before = rest_;
  const std::optional<Element> element = next();
  std::optional<std::int64_t> value;
  if (element && element->tag == BERTag::integer) value = integerFromBody(element->body);
  if (!value) rest_ = before;
  return value;
}

std::optional<OID> decodeOID(ByteView body) {
  if (body.empty() || (body.back() & continuationBit) != 0) return std::nullopt;
  OID subIdentifiers;
  std::uint64_t accumulator = 0;
  for (const std::uint8_t byte : body) {
    if (accumulator >= subIdentifierGuard) return std::nullopt;
    accumulator = (accumulator << digitBits) | (byte & digitMask);
    if ((byte & continuationBit) == 0) {
      subIdentifiers.push_back(static_cast<std::uint32_t>(accumulator));
      accumulator = 0;
    }
  }

  const std::uint64_t packed = subIdentifiers.front();
  const std::uint64_t x = std::min(packed / firstArcFactor, maxFirstArc);
  OID arcs;
  arcs.reserve(subIdentifiers.size() + 1);
  arcs.push_back(static_cast<std::uint32_t>(x));
  arcs.push_back(static_cast<std::uint32_t>(packed - firstArcFactor * x));
  arcs.insert(arcs.end(), subIdentifiers.begin() + 1, subIdentifiers.end());
  return arcs;
}

std::optional<std::uint64_t> decodeUnsigned(ByteView body) {
  if (body.empty()) return std::nullopt;
  // One leading zero keeps a value with its top bit set from reading as negative.
  if (body.front() == 0x00) body = body.subspan(1);
  if (body.size() > maxUnsignedBody) return std::nullopt;
  std::uint64_t value = 0;
  for (const std::uint8_t byte : body)
    value = (value << 8U) | byte;
  return value;
}

std::optional<SNMPValue> decodeValue(std::uint8_t tag, ByteView body) {
  switch (tag) {
    case BERTag::integer:
      if (const auto value = integerFromBody(body)) return SNMPValue::integer(*value);
      return std::nullopt;
    case BERTag::null:
      return SNMPValue::null();
    case BERTag::objectIdentifier:
      if (auto oid = decodeOID(body)) return SNMPValue::oid(std::move(*oid));
      return std::nullopt;
    case BERTag::counter32:
    case BERTag::gauge32:
    case BERTag::timeTicks:
    case BERTag::counter64:
      if (const auto value = decodeUnsigned(body)) return SNMPValue::unsignedInteger(*value);
      return std::nullopt;
    case BERTag::noSuchObject:
    case BERTag::noSuchInstance:
    case BERTag::endOfMibView:
      return SNMPValue::missing();
    default:
      return SNMPValue::bytes(Bytes(body.begin(), body.end()));
  }
}

namespace {

std::optional<SNMPVarBind> decodeVarBind(ByteView body) {
  Reader reader(body);
  const auto name = reader.next();
  if (!name || name->tag != BERTag::objectIdentifier) return std::nullopt;
  auto oid = decodeOID(name->body);
  if (!oid) return std::nullopt;
  const auto element = reader.next();
  if (!element) return std::nullopt;
  auto value = decodeValue(element->tag, element->body);
  if (!value) return std::nullopt;
  // Anything after the value inside the binding is ignored.
  return SNMPVarBind{std::move(*oid), std::move(*value)};
}

std::optional<Response> decodePDU(ByteView body) {
  Reader reader(body);
  const auto id = reader.integerValue();
  if (!id || *id < std::numeric_limits<std::int32_t>::min() ||
      *id > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  const auto errorStatus = reader.integerValue();
  if (!errorStatus || !reader.integerValue()) return std::nullopt;  // error-index is unused
  const auto list = reader.next();
  if (!list || list->tag != BERTag::sequence) return std::nullopt;

  Response response;
  response.id = static_cast<std::int32_t>(*id);
  response.errorStatus = *errorStatus;
  Reader bindings(list->body);
  while (!bindings.atEnd()) {
    const auto element = bindings.next();
    if (!element || element->tag != BERTag::sequence) return std::nullopt;
    auto bind = decodeVarBind(element->body);
    if (!bind) return std::nullopt;
    response.varBinds.push_back(std::move(*bind));
  }
  return response;
}

}  // namespace

std::optional<Response> decodeResponse(ByteView datagram) {
  Reader outer(datagram);
  const auto message = outer.next();  // bytes after the message are ignored
  if (!message || message->tag != BERTag::sequence) return std::nullopt;

  Reader reader(message->body);
  const auto version = reader.integerValue();
  if (!version || *version != versionTwoC) return std::nullopt;
  const auto community = reader.next();
  if (!community || community->tag != BERTag::octetString) return std::nullopt;
  const auto pdu = reader.next();
  if (!pdu || pdu->tag != BERTag::response) return std::nullopt;
  return decodePDU(pdu->body);
}

}  // namespace pulsewell::SNMPCodec
