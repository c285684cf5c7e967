#include "snmp/snmp_codec.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "snmp/ber_tags.h"

namespace pulsewell::SNMPCodec {

namespace {

// The version field's value for SNMP v2c.
constexpr std::int64_t versionTwoC = 1;
// Rows asked for per GetBulk: enough for a router's interface table in a few round trips.
constexpr std::int64_t bulkMaxRepetitions = 20;

// The largest content whose length the four-byte long form can state.
constexpr std::uint64_t maxContentLength = std::numeric_limits<std::uint32_t>::max();
// At or above this, one more base-128 digit would push a sub-identifier past 32 bits.
constexpr std::uint64_t subIdentifierGuard = std::uint64_t{1} << 25;
// The first sub-identifier packs the first two arcs as 40 * first + second.
constexpr std::uint32_t firstArcFactor = 40;
// The first arc is 0, 1 or 2; everything above 2 * 40 belongs to the second arc.
constexpr std::uint32_t maxFirstArc = 2;
// Base-128 digits with a continuation bit.
constexpr std::uint8_t continuationBit = 0x80;
constexpr std::uint8_t digitMask = 0x7F;
constexpr unsigned digitBits = 7;

// Sizes first, then one pass of writing into a buffer of exactly that size: no element is
// built apart and copied into its parent.

// The bytes of a definite length for `n` content bytes.
std::size_t lengthSize(std::size_t n) {
  if (n > maxContentLength) throw std::length_error("BER content longer than 2^32 - 1 bytes");
  std::size_t size = 1;
  if (n >= longFormFlag) {
    for (std::size_t rest = n; rest != 0; rest >>= 8U)
      ++size;
  }
  return size;
}

std::size_t elementSize(std::size_t contentSize) {
  return 1 + lengthSize(contentSize) + contentSize;
}

// The shortest two's complement form: 1 to 8 bytes.
std::size_t integerContentSize(std::int64_t value) {
  std::size_t size = 1;
  while (size < sizeof value) {
    const std::int64_t half = std::int64_t{1} << (8 * size - 1);
    if (value >= -half && value < half) break;
    ++size;
  }
  return size;
}

std::size_t subIdentifierSize(std::uint32_t value) {
  std::size_t size = 1;
  while ((value >>= digitBits) != 0)
    ++size;
  return size;
}

// The first sub-identifier, which packs the first two arcs; throws for what cannot be sent.
std::uint32_t firstSubIdentifier(const OID& oid) {
  if (oid.size() < 2) throw std::invalid_argument("an OID needs at least two arcs");
  const std::uint64_t first = std::uint64_t{firstArcFactor} * oid[0] + oid[1];
  if (first > std::numeric_limits<std::uint32_t>::max()) {
    throw std::invalid_argument("the first two arcs of the OID do not fit 32 bits");
  }
  return static_cast<std::uint32_t>(first);
}

std::size_t oidContentSize(const OID& oid) {
  std::size_t size = subIdentifierSize(firstSubIdentifier(oid));
  for (std::size_t i = 2; i < oid.size(); ++i)
    size += subIdentifierSize(oid[i]);
  return size;
}

// Writes elements forward into room sized beforehand.
class Writer {
 public:
  explicit Writer(std::span<std::uint8_t> room) : room_(room) {}

  void header(std::uint8_t tag, std::size_t contentSize) {
    put(tag);
    if (contentSize < longFormFlag) {
      put(static_cast<std::uint8_t>(contentSize));
      return;
    }
    const std::size_t k = lengthSize(contentSize) - 1;
    put(static_cast<std::uint8_t>(longFormFlag | k));
    for (std::size_t i = k; i-- > 0;)
      put(static_cast<std::uint8_t>(contentSize >> (8 * i)));
  }

  void integer(std::int64_t value) {
    const std::size_t size = integerContentSize(value);
    header(BERTag::integer, size);
    const auto bits = static_cast<std::uint64_t>(value);
    for (std::size_t i = size; i-- > 0;)
      put(static_cast<std::uint8_t>(bits >> (8 * i)));
  }

  void bytes(ByteView content) {
    std::copy(content.begin(), content.end(), room_.begin() + static_cast<std::ptrdiff_t>(at_));
    at_ += content.size();
  }

  void oidContent(const OID& oid) {
    subIdentifier(firstSubIdentifier(oid));
    for (std::size_t i = 2; i < oid.size(); ++i)
      subIdentifier(oid[i]);
  }

 private:
  void put(std::uint8_t byte) { room_[at_++] = byte; }

  // Base 128, most significant digit first, the continuation bit on all but the last.
  void subIdentifier(std::uint32_t value) {
    for (std::size_t i = subIdentifierSize(value); i-- > 1;)
      put(static_cast<std::uint8_t>(((value >> (digitBits * i)) & digitMask) | continuationBit));
    put(static_cast<std::uint8_t>(value & digitMask));
  }

  std::span<std::uint8_t> room_;
  std::size_t at_ = 0;
};

// The arcs of OBJECT IDENTIFIER content written to the front of `room`, which must hold one
// more arc than the content has bytes (the first byte packs two arcs), and viewed by `arcs`;
// `room` then begins after them. False when a sub-identifier is unfinished or exceeds
// 32 bits. (Results come back through references: an optional view copied around stalls
// the decoder.)
inline bool takeArcs(ByteView body, std::span<std::uint32_t>& room, OIDView& arcs) {
  if (body.empty() || (body.back() & continuationBit) != 0) return false;
  if (room.size() < body.size() + 1) return false;
  std::uint32_t* const first = room.data();
  std::uint32_t* out = first + 1;  // the first sub-identifier fills two arcs
  std::uint64_t accumulator = 0;
  for (const std::uint8_t byte : body) {
    accumulator = (accumulator << digitBits) | (byte & digitMask);
    if ((byte & continuationBit) != 0) {
      // The content ends on a final byte, so this digit is never the last: one more would
      // be taken with the value already too large.
      if (accumulator >= subIdentifierGuard) return false;
      continue;
    }
    *out++ = static_cast<std::uint32_t>(accumulator);
    accumulator = 0;
  }
  // The first arc is the smaller of packed / 40 and 2, the second arc the rest.
  const std::uint32_t packed = first[1];
  const std::uint32_t x = packed < firstArcFactor       ? 0
                          : packed < 2 * firstArcFactor ? 1
                                                        : maxFirstArc;
  first[0] = x;
  first[1] = packed - firstArcFactor * x;
  const auto count = static_cast<std::size_t>(out - first);
  room = room.subspan(count);
  arcs = OIDView(first, count);
  return true;
}

// The value of one binding as a view, written to `value`; an OID value's arcs are taken
// from `room`. False when the body does not fit the tag.
inline bool decodeValueView(std::uint8_t tag, ByteView body, std::span<std::uint32_t>& room,
                            SNMPValueView& value) {
  switch (tag) {
    case BERTag::integer: {
      const auto number = decodeInteger(body);
      if (number) value = SNMPValueView::integer(*number);
      return number.has_value();
    }
    case BERTag::null:
      value = SNMPValueView::null();
      return true;
    case BERTag::objectIdentifier: {
      OIDView arcs;
      if (!takeArcs(body, room, arcs)) return false;
      value = SNMPValueView::oid(arcs);
      return true;
    }
    case BERTag::counter32:
    case BERTag::gauge32:
    case BERTag::timeTicks: {
      const auto number = decodeUnsigned(body);
      if (!number) return false;
      // A 32-bit type with a wider value is taken at the width it came with.
      value = *number <= std::numeric_limits<std::uint32_t>::max()
                  ? SNMPValueView::unsigned32(static_cast<std::uint32_t>(*number))
                  : SNMPValueView::unsignedInteger(*number);
      return true;
    }
    case BERTag::counter64: {
      const auto number = decodeUnsigned(body);
      if (number) value = SNMPValueView::unsignedInteger(*number);
      return number.has_value();
    }
    case BERTag::noSuchObject:
    case BERTag::noSuchInstance:
    case BERTag::endOfMibView:
      value = SNMPValueView::missing();
      return true;
    default:
      value = SNMPValueView::bytes(body);
      return true;
  }
}

}  // namespace

Bytes tlv(std::uint8_t tag, ByteView content) {
  Bytes out(elementSize(content.size()));
  Writer writer(out);
  writer.header(tag, content.size());
  writer.bytes(content);
  return out;
}

Bytes integer(std::int64_t value) {
  Bytes out(elementSize(integerContentSize(value)));
  Writer(out).integer(value);
  return out;
}

Bytes oidBytes(const OID& oid) {
  Bytes out(oidContentSize(oid));
  Writer(out).oidContent(oid);
  return out;
}

Bytes encode(Request kind, std::int32_t id, std::string_view community,
             const std::vector<OID>& oids) {
  Bytes out;
  encode(kind, id, community, oids, out);
  return out;
}

void encode(Request kind, std::int32_t id, std::string_view community, std::span<const OID> oids,
            Bytes& out) {
  const bool bulk = kind == Request::getBulk;
  // error-status (non-repeaters) 0, error-index (max-repetitions) 0 or 20.
  const std::int64_t third = bulk ? bulkMaxRepetitions : 0;

  // Every length is known before its element is written.
  std::size_t bindingsSize = 0;
  for (const OID& oid : oids)
    bindingsSize += elementSize(elementSize(oidContentSize(oid)) + elementSize(0));
  const std::size_t pduSize = elementSize(integerContentSize(id)) +
                              elementSize(integerContentSize(0)) +
                              elementSize(integerContentSize(third)) + elementSize(bindingsSize);
  const std::size_t messageSize = elementSize(integerContentSize(versionTwoC)) +
                                  elementSize(community.size()) + elementSize(pduSize);
  out.resize(elementSize(messageSize));

  Writer writer(out);
  writer.header(BERTag::sequence, messageSize);
  writer.integer(versionTwoC);
  writer.header(BERTag::octetString, community.size());
  writer.bytes(ByteView(reinterpret_cast<const std::uint8_t*>(community.data()), community.size()));
  writer.header(bulk ? BERTag::getBulkRequest : BERTag::getRequest, pduSize);
  writer.integer(id);
  writer.integer(0);
  writer.integer(third);
  writer.header(BERTag::sequence, bindingsSize);
  for (const OID& oid : oids) {
    const std::size_t nameSize = oidContentSize(oid);
    writer.header(BERTag::sequence, elementSize(nameSize) + elementSize(0));
    writer.header(BERTag::objectIdentifier, nameSize);
    writer.oidContent(oid);
    writer.header(BERTag::null, 0);
  }
}

ElementHeader elementHeaderByTheFullRule(ByteView bytes) {
  if (bytes.size() < 2) return {};
  const std::uint8_t first = bytes[1];
  std::size_t size = 2;
  std::size_t length = first;
  if ((first & longFormFlag) != 0) {
    const std::size_t k = first & 0x7FU;  // the number of length bytes
    if (k < 1 || k > maxLengthBytes || bytes.size() - size < k) return {};
    length = 0;
    for (std::size_t i = 0; i < k; ++i)
      length = (length << 8U) | bytes[size + i];
    size += k;
  }
  if (bytes.size() - size < length) return {};
  return {size, length};
}

std::optional<OID> decodeOID(ByteView body) {
  OID arcs(body.size() + 1);
  std::span<std::uint32_t> room(arcs);
  OIDView taken;
  if (!takeArcs(body, room, taken)) return std::nullopt;
  arcs.resize(taken.size());
  return arcs;
}

std::optional<SNMPValue> decodeValue(std::uint8_t tag, ByteView body) {
  std::vector<std::uint32_t> arcs(tag == BERTag::objectIdentifier ? body.size() + 1 : 0);
  std::span<std::uint32_t> room(arcs);
  SNMPValueView value = SNMPValueView::null();
  if (!decodeValueView(tag, body, room, value)) return std::nullopt;
  return owned(value);
}

SNMPValue owned(const SNMPValueView& value) {
  if (const auto* number = value.asInteger()) return SNMPValue::integer(*number);
  if (const auto* number = value.asUnsigned()) {
    return value.unsignedBits() == 32 ? SNMPValue::unsigned32(static_cast<std::uint32_t>(*number))
                                      : SNMPValue::unsignedInteger(*number);
  }
  if (const auto* bytes = value.asBytes())
    return SNMPValue::bytes(Bytes(bytes->begin(), bytes->end()));
  if (const auto* oid = value.asOID()) return SNMPValue::oid(OID(oid->begin(), oid->end()));
  if (value.isNull()) return SNMPValue::null();
  return SNMPValue::missing();
}

SNMPVarBind owned(const SNMPVarBindView& binding) {
  return {OID(binding.oid.begin(), binding.oid.end()), owned(binding.value)};
}

std::optional<ResponseView> decodeResponse(ByteView datagram, DecodeStorage& storage) {
  Reader outer(datagram);
  const auto message = outer.next();  // bytes after the message are ignored
  if (!message || message->tag != BERTag::sequence) return std::nullopt;

  Reader reader(message->body);
  std::int64_t version = 0;
  if (!reader.readInteger(version) || version != versionTwoC) return std::nullopt;
  const auto community = reader.next();
  if (!community || community->tag != BERTag::octetString) return std::nullopt;
  const auto pdu = reader.next();  // anything after the PDU is ignored
  if (!pdu || pdu->tag != BERTag::response) return std::nullopt;

  Reader fields(pdu->body);
  std::int64_t id = 0;
  if (!fields.readInteger(id) || id < std::numeric_limits<std::int32_t>::min() ||
      id > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  std::int64_t errorStatus = 0;
  std::int64_t errorIndex = 0;  // unused, but it must be there
  if (!fields.readInteger(errorStatus) || !fields.readInteger(errorIndex)) return std::nullopt;
  const auto list = fields.next();
  if (!list || list->tag != BERTag::sequence) return std::nullopt;

  // An OID of n content bytes has at most n + 1 arcs and its element at least n + 2
  // bytes, so the list's size is room for every arc in it.
  if (storage.arcs_.size() < list->body.size()) storage.arcs_.resize(list->body.size());
  std::span<std::uint32_t> room(storage.arcs_);
  // Bindings are written into slots kept from earlier replies; new slots only for more.
  std::size_t count = 0;
  Reader bindings(list->body);
  while (!bindings.atEnd()) {
    const auto element = bindings.next();
    if (!element || element->tag != BERTag::sequence) return std::nullopt;
    Reader parts(element->body);
    const auto name = parts.next();
    if (!name || name->tag != BERTag::objectIdentifier) return std::nullopt;
    if (count == storage.varBinds_.size()) {
      storage.varBinds_.push_back({{}, SNMPValueView::null()});
    }
    SNMPVarBindView& binding = storage.varBinds_[count];
    if (!takeArcs(name->body, room, binding.oid)) return std::nullopt;
    const auto value = parts.next();
    if (!value) return std::nullopt;
    if (!decodeValueView(value->tag, value->body, room, binding.value)) return std::nullopt;
    // Anything after the value inside the binding is ignored.
    ++count;
  }
  return ResponseView{static_cast<std::int32_t>(id), errorStatus,
                      std::span(storage.varBinds_).first(count)};
}

std::optional<Response> decodeResponse(ByteView datagram) {
  DecodeStorage storage;
  const auto view = decodeResponse(datagram, storage);
  if (!view) return std::nullopt;
  Response response{view->id, view->errorStatus, {}};
  response.varBinds.reserve(view->varBinds.size());
  for (const SNMPVarBindView& binding : view->varBinds)
    response.varBinds.push_back(owned(binding));
  return response;
}

}  // namespace pulsewell::SNMPCodec
