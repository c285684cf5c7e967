#pragma once

// Reads back the requests the client sends, so tests can answer them by request-id.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "snmp/snmp_codec.h"
#include "snmp/snmp_value.h"

namespace pulsewell::test {

struct SentRequest {
  std::uint8_t pduTag = 0;  // 0xA0 GetRequest, 0xA5 GetBulkRequest
  std::int64_t id = 0;
  std::string community;
  std::int64_t nonRepeaters = 0;    // error-status in a GetRequest
  std::int64_t maxRepetitions = 0;  // error-index in a GetRequest
  std::vector<OID> oids;
};

inline std::optional<SentRequest> readRequest(ByteView datagram) {
  SNMPCodec::Reader outer(datagram);
  const auto message = outer.next();
  if (!message || message->tag != 0x30) {
    return std::nullopt;
  }
  SNMPCodec::Reader fields(message->body);
  const auto version = fields.integerValue();
  const auto community = fields.next();
  const auto pdu = fields.next();
  if (!version || *version != 1 || !community || community->tag != 0x04 || !pdu) {
    return std::nullopt;
  }
  SentRequest request;
  request.pduTag = pdu->tag;
  request.community.assign(community->body.begin(), community->body.end());
  SNMPCodec::Reader inner(pdu->body);
  const auto id = inner.integerValue();
  const auto second = inner.integerValue();
  const auto third = inner.integerValue();
  const auto list = inner.next();
  if (!id || !second || !third || !list || list->tag != 0x30) {
    return std::nullopt;
  }
  request.id = *id;
  request.nonRepeaters = *second;
  request.maxRepetitions = *third;
  SNMPCodec::Reader bindings(list->body);
  while (!bindings.atEnd()) {
    const auto binding = bindings.next();
    if (!binding || binding->tag != 0x30) {
      return std::nullopt;
    }
    SNMPCodec::Reader parts(binding->body);
    const auto name = parts.next();
    if (!name || name->tag != 0x06) {
      return std::nullopt;
    }
    auto oid = SNMPCodec::decodeOID(name->body);
    if (!oid) {
      return std::nullopt;
    }
    request.oids.push_back(std::move(*oid));
  }
  return request;
}

}  // namespace pulsewell::test
