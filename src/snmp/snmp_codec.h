#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "snmp/ber_tags.h"
#include "snmp/snmp_value.h"

// The BER encoder and decoder for the only messages Pulsewell exchanges: SNMP v2c
// GetRequest and GetBulkRequest out, Response in. Pure functions, no state.
namespace pulsewell::SNMPCodec {

enum class Request { get, getBulk };

struct Response {
  std::int32_t id = 0;
  std::int64_t errorStatus = 0;
  std::vector<SNMPVarBind> varBinds;

  bool operator==(const Response&) const = default;
};

// A Response decoded in place: each binding's arcs live in the DecodeStorage it was
// decoded into and its byte string stays a view into the datagram. Valid while both
// live, until the storage is decoded into again.
struct ResponseView {
  std::int32_t id = 0;
  std::int64_t errorStatus = 0;
  std::span<const SNMPVarBindView> varBinds;
};

// The room decoding in place fills. A caller that keeps it across replies pays for it
// once: it grows to the largest reply seen, then decoding allocates nothing.
class DecodeStorage {
 private:
  friend std::optional<ResponseView> decodeResponse(ByteView datagram, DecodeStorage& storage);

  std::vector<std::uint32_t> arcs_;
  std::vector<SNMPVarBindView> varBinds_;
};

// The complete message, ready to be sent as one datagram. GetBulk asks for no
// non-repeaters and 20 repetitions. Callers pass OIDs of at least two arcs whose first
// pair packs into 32 bits (40 * first + second); anything else throws
// std::invalid_argument, as oidBytes does.
Bytes encode(Request kind, std::int32_t id, std::string_view community,
             const std::vector<OID>& oids);
// The same message written into `out`, resized to its exact length: a buffer kept
// across requests is reused without allocating.
void encode(Request kind, std::int32_t id, std::string_view community, std::span<const OID> oids,
            Bytes& out);

// The Response in one received datagram, or none when it is not an acceptable one.
// Never reads outside `datagram`.
std::optional<Response> decodeResponse(ByteView datagram);
// The same checks, decoded into `storage` without copying; none exactly when the
// function above gives none.
std::optional<ResponseView> decodeResponse(ByteView datagram, DecodeStorage& storage);

// Owned copies of what was decoded in place.
SNMPValue owned(const SNMPValueView& value);
SNMPVarBind owned(const SNMPVarBindView& binding);

// Building blocks, shared with the simulator agent.

// Tag, definite length (short form below 128, else the shortest long form) and content.
// Throws std::length_error for content beyond 2^32 - 1 bytes.
Bytes tlv(std::uint8_t tag, ByteView content);
// A complete INTEGER element in its minimal two's complement form.
Bytes integer(std::int64_t value);
// The content bytes of an OBJECT IDENTIFIER (no tag, no length). Throws
// std::invalid_argument for fewer than two arcs or a first pair beyond 32 bits.
Bytes oidBytes(const OID& oid);

// Short-form lengths stop here; the top bit announces the long form.
inline constexpr std::uint8_t longFormFlag = 0x80;
// Lengths of more than four bytes describe content no datagram can carry.
inline constexpr std::size_t maxLengthBytes = 4;

// An INTEGER must fit the signed 64-bit value it decodes to: refused, never truncated.
inline constexpr std::size_t maxIntegerBody = 8;
// An unsigned value must fit 64 bits once its one optional leading zero is dropped.
inline constexpr std::size_t maxUnsignedBody = 8;

// The content decoders below and the Reader's reads are inline (the reads always): they
// run for every element of every reply, and a call each costs the decoder a third of its
// time.

// The body of an INTEGER: 1 to 8 bytes of two's complement, sign-extended.
inline std::optional<std::int64_t> decodeInteger(ByteView body) {
  if (body.empty() || body.size() > maxIntegerBody) return std::nullopt;
  std::uint64_t value = (body.front() & 0x80U) != 0 ? ~std::uint64_t{0} : 0;
  for (const std::uint8_t byte : body)
    value = (value << 8U) | byte;
  return static_cast<std::int64_t>(value);
}

// The body of a Counter32, Gauge32, TimeTicks or Counter64: up to 8 bytes after one
// optional leading zero.
inline std::optional<std::uint64_t> decodeUnsigned(ByteView body) {
  if (body.empty()) return std::nullopt;
  // One leading zero keeps a value with its top bit set from reading as negative.
  if (body.front() == 0x00) body = body.subspan(1);
  if (body.size() > maxUnsignedBody) return std::nullopt;
  std::uint64_t value = 0;
  for (const std::uint8_t byte : body)
    value = (value << 8U) | byte;
  return value;
}

struct Element {
  std::uint8_t tag = 0;
  ByteView body;
};

// Where the element at the front of some bytes keeps its content: after `size` bytes of tag
// and length, `contentLength` bytes, all within the bytes. A size of 0 when the length is
// refused or the content does not fit. Small enough to come back in registers.
struct ElementHeader {
  std::size_t size = 0;
  std::size_t contentLength = 0;
};

// The long-form lengths and the refusals.
ElementHeader elementHeaderByTheFullRule(ByteView bytes);

// Nearly every element of a reply has a short-form length: read those inline, leave the
// rest to the full rule.
[[gnu::always_inline]] inline ElementHeader elementHeader(ByteView bytes) {
  if (bytes.size() >= 2 && bytes[1] < longFormFlag && bytes[1] <= bytes.size() - 2) {
    return {2, bytes[1]};
  }
  return elementHeaderByTheFullRule(bytes);
}

// A forward-only cursor over bytes it does not own. Every read is bounded by the
// bytes that remain; a read that fails consumes nothing.
class Reader {
 public:
  explicit Reader(ByteView bytes) : rest_(bytes) {}

  // The next element; its body is a view into the bytes, never beyond them.
  [[gnu::always_inline]] std::optional<Element> next() {
    const ElementHeader header = elementHeader(rest_);
    if (header.size == 0) return std::nullopt;
    const Element element{rest_[0], rest_.subspan(header.size, header.contentLength)};
    rest_ = rest_.subspan(header.size + header.contentLength);
    return element;
  }
  // The next element as an INTEGER of 1 to 8 content bytes.
  std::optional<std::int64_t> integerValue() {
    std::int64_t value = 0;
    if (!readInteger(value)) return std::nullopt;
    return value;
  }
  // The same read into `value`, for the decoder: an optional copied around costs it more
  // than the read itself.
  [[gnu::always_inline]] bool readInteger(std::int64_t& value) {
    const ByteView before = rest_;
    const std::optional<Element> element = next();
    if (element && element->tag == BERTag::integer) {
      if (const auto decoded = decodeInteger(element->body)) {
        value = *decoded;
        return true;
      }
    }
    rest_ = before;
    return false;
  }
  bool atEnd() const { return rest_.empty(); }

 private:
  ByteView rest_;
};

// OBJECT IDENTIFIER content to arcs; none when a sub-identifier is unfinished or
// exceeds 32 bits.
std::optional<OID> decodeOID(ByteView body);
// The value of one binding; every tag the codec does not know becomes raw bytes.
std::optional<SNMPValue> decodeValue(std::uint8_t tag, ByteView body);

}  // namespace pulsewell::SNMPCodec
