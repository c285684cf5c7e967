// Feeds arbitrary datagrams to the reply decoder. Besides the sanitizers' checks it
// holds the decoder to what its callers rely on: it never throws, every OID it returns
// can be sent again, and a decoded reply written back out decodes to the same reply.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>

#include "snmp/snmp_codec.h"

namespace {

using pulsewell::Bytes;
using pulsewell::ByteView;
using pulsewell::SNMPValue;
namespace codec = pulsewell::SNMPCodec;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void append(Bytes& out, const Bytes& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// An unsigned value as a Counter32 or Counter64 element: minimal, with a leading zero when
// the top bit is set, as agents send it.
Bytes unsignedElement(std::uint64_t value, std::uint8_t tag) {
  Bytes body;
  do {
    body.insert(body.begin(), static_cast<std::uint8_t>(value & 0xFFU));
    value >>= 8U;
  } while (value != 0);
  if ((body.front() & 0x80U) != 0) body.insert(body.begin(), 0x00);
  return codec::tlv(tag, body);
}

Bytes valueElement(const SNMPValue& value) {
  switch (value.kind()) {
    case SNMPValue::Kind::integer:
      return codec::integer(*value.asInteger());
    case SNMPValue::Kind::unsignedInteger:
      return unsignedElement(*value.asUnsigned(), value.unsignedBits() == 32 ? 0x41 : 0x46);
    case SNMPValue::Kind::bytes:
      return codec::tlv(0x04, *value.asBytes());
    case SNMPValue::Kind::oid:
      return codec::tlv(0x06, codec::oidBytes(*value.asOID()));
    case SNMPValue::Kind::null:
      return {0x05, 0x00};
    case SNMPValue::Kind::missing:
      return {0x81, 0x00};
  }
  __builtin_trap();
}

Bytes reencode(const codec::Response& response) {
  Bytes bindings;
  for (const pulsewell::SNMPVarBind& bind : response.varBinds) {
    Bytes element = codec::tlv(0x06, codec::oidBytes(bind.oid));
    append(element, valueElement(bind.value));
    append(bindings, codec::tlv(0x30, element));
  }
  Bytes pdu = codec::integer(response.id);
  append(pdu, codec::integer(response.errorStatus));
  append(pdu, codec::integer(0));
  append(pdu, codec::tlv(0x30, bindings));
  Bytes message = codec::integer(1);
  append(message, codec::tlv(0x04, Bytes{}));
  append(message, codec::tlv(0xA2, pdu));
  return codec::tlv(0x30, message);
}

void checkResponse(const codec::Response& response) {
  for (const pulsewell::SNMPVarBind& bind : response.varBinds) {
    // Walks send decoded OIDs back to the agent, so they must meet the encoder's limits.
    check(bind.oid.size() >= 2 && bind.oid[0] <= 2);
    check(codec::decodeOID(codec::oidBytes(bind.oid)) == bind.oid);
  }
  check(codec::decodeResponse(reencode(response)) == response);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const std::optional<codec::Response> response = codec::decodeResponse(ByteView(data, size));
    if (response) checkResponse(*response);
  } catch (...) {
    // Decoding has no failure path but "none"; anything thrown is a fault.
    __builtin_trap();
  }
  return 0;
}
