#pragma once

#include <cstdint>
#include <string_view>

#include "snmp/ber_tags.h"
#include "snmp/snmp_value.h"

namespace pulsewell {

// One value as the simulator agent puts it on the wire: the value a client decodes and
// the BER tag it travels with (a Counter32 and a Gauge32 decode to the same value but
// are different objects to `snmpwalk`).
class AgentValue {
 public:
  static AgentValue integer(std::int64_t value);
  static AgentValue octetString(std::string_view text);
  static AgentValue octetString(Bytes bytes);
  // Throws std::invalid_argument unless isEncodableOID(value).
  static AgentValue objectIdentifier(OID value);
  static AgentValue null();
  static AgentValue counter32(std::uint32_t value);
  static AgentValue gauge32(std::uint32_t value);
  static AgentValue timeTicks(std::uint32_t value);
  static AgentValue counter64(std::uint64_t value);
  static AgentValue noSuchObject();
  static AgentValue noSuchInstance();
  static AgentValue endOfMibView();
  // The usual wire type of a decoded value: unsigned values go out as the counter of their
  // width, `missing` as noSuchInstance.
  static AgentValue from(const SNMPValue& value);

  // Whether BER can carry `oid` and a decoder gets the same arcs back: at least two arcs,
  // a first arc of 0 to 2, a second arc below 40 unless the first is 2, and the packed
  // first pair (40 * first + second) within 32 bits.
  static bool isEncodableOID(const OID& oid);

  std::uint8_t tag() const { return tag_; }
  // What a client decodes from this value.
  const SNMPValue& value() const { return value_; }
  // The complete element: tag, length, content.
  Bytes encode() const;

  bool operator==(const AgentValue&) const = default;

 private:
  AgentValue(std::uint8_t tag, SNMPValue value) : tag_(tag), value_(std::move(value)) {}

  std::uint8_t tag_;
  SNMPValue value_;
};

}  // namespace pulsewell
