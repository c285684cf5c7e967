#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

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

struct Element {
  std::uint8_t tag = 0;
  ByteView body;
};

// A forward-only cursor over bytes it does not own. Every read is bounded by the
// bytes that remain; a read that fails consumes nothing.
class Reader {
 public:
  explicit Reader(ByteView bytes) : rest_(bytes) {}

  // The next element; its body is a view into the bytes, never beyond them.
  std::optional<Element> next();
  // The next element as an INTEGER of 1 to 8 content bytes.
  std::optional<std::int64_t> integerValue();
  bool atEnd() const { return rest_.empty(); }

 private:
  ByteView rest_;
};

// OBJECT IDENTIFIER content to arcs; none when a sub-identifier is unfinished or
// exceeds 32 bits.
std::optional<OID> decodeOID(ByteView body);
// The body of a Counter32, Gauge32, TimeTicks or Counter64: up to 8 bytes after one
// optional leading zero.
std::optional<std::uint64_t> decodeUnsigned(ByteView body);
// The value of one binding; every tag the codec does not know becomes raw bytes.
std::optional<SNMPValue> decodeValue(std::uint8_t tag, ByteView body);

}  // namespace pulsewell::SNMPCodec
