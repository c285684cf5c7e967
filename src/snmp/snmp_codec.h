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

// The complete message, ready to be sent as one datagram.
Bytes encode(Request kind, std::int32_t id, std::string_view community,
             const std::vector<OID>& oids);

// The Response in one received datagram, or none when it is not an acceptable one.
// Never reads outside `datagram`.
std::optional<Response> decodeResponse(ByteView datagram);

// Building blocks, shared with the simulator agent.

Bytes tlv(std::uint8_t tag, ByteView content);
Bytes integer(std::int64_t value);
// The content bytes of an OBJECT IDENTIFIER (no tag, no length).
Bytes oidBytes(const OID& oid);

struct Element {
  std::uint8_t tag = 0;
  ByteView body;
};

// A forward-only cursor over bytes it does not own. Every read is bounded by the
// bytes that remain.
class Reader {
 public:
  explicit Reader(ByteView bytes) : rest_(bytes) {}

  std::optional<Element> next();
  std::optional<std::int64_t> integerValue();
  bool atEnd() const { return rest_.empty(); }

 private:
  ByteView rest_;
};

std::optional<OID> decodeOID(ByteView body);
std::optional<std::uint64_t> decodeUnsigned(ByteView body);
std::optional<SNMPValue> decodeValue(std::uint8_t tag, ByteView body);

}  // namespace pulsewell::SNMPCodec
