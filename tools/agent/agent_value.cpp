#include "agent/agent_value.h"

#include <stdexcept>

#include "snmp/ber_tags.h"
#include "snmp/snmp_codec.h"

namespace pulsewell {

namespace {

// The shortest big-endian form, with a leading zero where the top bit would read as a sign.
Bytes unsignedContent(std::uint64_t value) {
  Bytes digits;
  do {
    digits.insert(digits.begin(), static_cast<std::uint8_t>(value & 0xFFU));
    value >>= 8U;
  } while (value != 0);
  if ((digits.front() & 0x80U) != 0) digits.insert(digits.begin(), 0x00);
  return digits;
}

}  // namespace

bool AgentValue::isEncodableOID(const OID& oid) {
  // BER packs the first two arcs into one sub-identifier; a decoder splits it back into
  // the same arcs only under these limits.
  if (oid.size() < 2 || oid[0] > 2) return false;
  if (oid[0] < 2 && oid[1] >= 40) return false;
  return std::uint64_t{oid[0]} * 40 + oid[1] <= 0xFFFFFFFFU;
}

AgentValue AgentValue::integer(std::int64_t value) {
  return {BERTag::integer, SNMPValue::integer(value)};
}

AgentValue AgentValue::octetString(std::string_view text) {
  return {BERTag::octetString, SNMPValue::bytes(text)};
}

AgentValue AgentValue::octetString(Bytes bytes) {
  return {BERTag::octetString, SNMPValue::bytes(std::move(bytes))};
}

AgentValue AgentValue::objectIdentifier(OID value) {
  if (!isEncodableOID(value)) throw std::invalid_argument("the OID value cannot be encoded");
  return {BERTag::objectIdentifier, SNMPValue::oid(std::move(value))};
}

AgentValue AgentValue::null() {
  return {BERTag::null, SNMPValue::null()};
}

AgentValue AgentValue::counter32(std::uint32_t value) {
  return {BERTag::counter32, SNMPValue::unsigned32(value)};
}

AgentValue AgentValue::gauge32(std::uint32_t value) {
  return {BERTag::gauge32, SNMPValue::unsigned32(value)};
}

AgentValue AgentValue::timeTicks(std::uint32_t value) {
  return {BERTag::timeTicks, SNMPValue::unsigned32(value)};
}

AgentValue AgentValue::counter64(std::uint64_t value) {
  return {BERTag::counter64, SNMPValue::unsignedInteger(value)};
}

AgentValue AgentValue::noSuchObject() {
  return {BERTag::noSuchObject, SNMPValue::missing()};
}
AgentValue AgentValue::noSuchInstance() {
  return {BERTag::noSuchInstance, SNMPValue::missing()};
}
AgentValue AgentValue::endOfMibView() {
  return {BERTag::endOfMibView, SNMPValue::missing()};
}

AgentValue AgentValue::from(const SNMPValue& value) {
  switch (value.kind()) {
    case SNMPValue::Kind::integer:
      return integer(*value.asInteger());
    case SNMPValue::Kind::unsignedInteger:
      return value.unsignedBits() == 32 ? counter32(static_cast<std::uint32_t>(*value.asUnsigned()))
                                        : counter64(*value.asUnsigned());
    case SNMPValue::Kind::bytes:
      return octetString(*value.asBytes());
    case SNMPValue::Kind::oid:
      return objectIdentifier(*value.asOID());
    case SNMPValue::Kind::null:
      return null();
    case SNMPValue::Kind::missing:
      break;
  }
  return noSuchInstance();
}

Bytes AgentValue::encode() const {
  if (const auto* number = value_.asInteger()) return SNMPCodec::integer(*number);
  if (const auto* number = value_.asUnsigned())
    return SNMPCodec::tlv(tag_, unsignedContent(*number));
  if (const auto* bytes = value_.asBytes()) return SNMPCodec::tlv(tag_, *bytes);
  if (const auto* oid = value_.asOID()) return SNMPCodec::tlv(tag_, SNMPCodec::oidBytes(*oid));
  // NULL and the three exceptions carry no content.
  return {tag_, 0x00};
}

}  // namespace pulsewell
