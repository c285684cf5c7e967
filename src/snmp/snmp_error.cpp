#include "snmp/snmp_error.h"

namespace pulsewell {

const char* SNMPError::what() const noexcept {
  switch (kind_) {
    case Kind::agent:
      return "the SNMP agent answered with an error status";
    case Kind::timeout:
      return "no SNMP reply arrived in time";
    case Kind::localNetworkDenied:
      return "access to the local network is denied";
    case Kind::unreachable:
      return "the SNMP agent cannot be reached";
    case Kind::malformed:
      return "the SNMP reply cannot be used";
  }
  return "SNMP error";
}

const char* SNMPStopped::what() const noexcept {
  return "the SNMP request was stopped";
}

}  // namespace pulsewell
