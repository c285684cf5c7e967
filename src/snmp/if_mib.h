#pragma once

#include <cstdint>

#include "snmp/snmp_value.h"

// The IF-MIB objects (RFC 2863) in one place: the columns the sampler reads, and those the
// simulator agent adds so that a plain `snmpwalk` of the interface table is useful.
namespace pulsewell::IfMib {

// ifTable (1.3.6.1.2.1.2.2.1.x)
OID ifIndex();
OID ifDescr();
OID ifOperStatus();
OID ifInOctets();
OID ifOutOctets();
// ifXTable (1.3.6.1.2.1.31.1.1.1.x)
OID ifName();
OID ifHCInOctets();
OID ifHCOutOctets();

// `column` with the row index appended, e.g. ifName.5.
OID instance(const OID& column, std::uint32_t index);

// ifOperStatus values used here.
constexpr std::int64_t operStatusUp = 1;
constexpr std::int64_t operStatusDown = 2;

}  // namespace pulsewell::IfMib
