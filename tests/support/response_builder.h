#pragma once

// Builds SNMP v2c Response datagrams for tests, from the codec's own building blocks.

#include <cstdint>
#include <string_view>
#include <vector>

#include "snmp/snmp_codec.h"
#include "snmp/snmp_value.h"

namespace pulsewell::test {

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

// The complete element of one value: integers as INTEGER, unsigned values as the
// counter of their width, byte strings as OCTET STRING, `missing` as endOfMibView.
inline Bytes valueBytes(const SNMPValue& value) {
  using SNMPCodec::tlv;
  switch (value.kind()) {
    case SNMPValue::Kind::integer:
      return SNMPCodec::integer(*value.asInteger());
    case SNMPValue::Kind::unsignedInteger: {
      Bytes body;
      for (std::uint64_t v = *value.asUnsigned(); v != 0; v >>= 8U) {
        body.insert(body.begin(), static_cast<std::uint8_t>(v & 0xFFU));
      }
      if (body.empty() || (body.front() & 0x80U) != 0) {
        body.insert(body.begin(), 0x00);
      }
      return tlv(value.unsignedBits() == 32 ? 0x41 : 0x46, body);
    }
    case SNMPValue::Kind::bytes:
      return tlv(0x04, *value.asBytes());
    case SNMPValue::Kind::oid:
      return tlv(0x06, SNMPCodec::oidBytes(*value.asOID()));
    case SNMPValue::Kind::null:
      return tlv(0x05, {});
    case SNMPValue::Kind::missing:
      return tlv(0x82, {});
  }
  return {};
}

inline Bytes varBindBytes(const OID& oid, const Bytes& valueElement) {
  return SNMPCodec::tlv(0x30,
                        concat({SNMPCodec::tlv(0x06, SNMPCodec::oidBytes(oid)), valueElement}));
}

// A Response message with this request-id, error-status and bindings.
inline Bytes responseBytes(std::int32_t id, std::int64_t errorStatus,
                           const std::vector<SNMPVarBind>& varBinds,
                           std::string_view community = "public") {
  Bytes bindings;
  for (const SNMPVarBind& binding : varBinds) {
    const Bytes one = varBindBytes(binding.oid, valueBytes(binding.value));
    bindings.insert(bindings.end(), one.begin(), one.end());
  }
  const Bytes pdu =
      SNMPCodec::tlv(0xA2, concat({SNMPCodec::integer(id), SNMPCodec::integer(errorStatus),
                                   SNMPCodec::integer(0), SNMPCodec::tlv(0x30, bindings)}));
  const Bytes communityBytes(community.begin(), community.end());
  return SNMPCodec::tlv(0x30,
                        concat({SNMPCodec::integer(1), SNMPCodec::tlv(0x04, communityBytes), pdu}));
}

}  // namespace pulsewell::test
