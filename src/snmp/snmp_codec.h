#pragma once

#include <cstdint>
#include <optional>
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

// The complete message, ready to be sent as one datagram. GetBulk asks for no
// non-repeaters and 20 repetitions. Callers pass OIDs of at least two arcs whose first
// pair packs into 32 bits (40 * first + second); anything else throws
// std::invalid_argument, as oidBytes does.
Bytes encode(Request kind, std::int32_t id, std::string_view community,
             const std::vector<OID>& oids);

// The Response in one received datagram, or none when it is not an acceptable one.
// Never reads outside `datagram`.
std::optional<Response> decodeResponse(ByteView datagram);

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
