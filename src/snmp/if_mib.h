#pragma once

#include <cstdint>

#include "snmp/snmp_value.h"

// The IF-MIB objects (RFC 2863) in one place, with the one system object read beside them:
// the columns the sampler reads, and those the simulator agent adds so that a plain
// `snmpwalk` of the interface table is useful.
namespace pulsewell::IfMib {

// sysUpTime.0 (1.3.6.1.2.1.1.3.0): the agent's uptime; lower than before after a restart.
OID sysUpTime();
// ifTable (1.3.6.1.2.1.2.2.1.x)
OID ifIndex();
OID ifDescr();
OID ifSpeed();
OID ifOperStatus();
OID ifInOctets();
OID ifOutOctets();
// ifXTable (1.3.6.1.2.1.31.1.1.1.x)
OID ifName();
OID ifHCInOctets();
OID ifHCOutOctets();
OID ifHighSpeed();

// `column` with the row index appended, e.g. ifName.5.
OID instance(const OID& column, std::uint32_t index);

// ifOperStatus values used here.
constexpr std::int64_t operStatusUp = 1;
constexpr std::int64_t operStatusDown = 2;

// Up only for the integer 1: any other number or type is not up.
template <typename Value>
bool isOperStatusUp(const Value& operStatus) {
  const auto* integer = operStatus.asInteger();
  return integer != nullptr && *integer == operStatusUp;
}

}  // namespace pulsewell::IfMib
