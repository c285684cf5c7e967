#include "traffic/router_traffic_status.h"

#include "snmp/snmp_error.h"
#include "traffic/snmp_traffic_sampler.h"

namespace pulsewell {

RouterTrafficStatus routerTrafficStatus(const std::exception_ptr& error) {
  // Rethrowing an empty pointer is undefined; an absent error is still not a good reply.
  if (!error) return RouterTrafficStatus::invalidReply;
  try {
    std::rethrow_exception(error);
  } catch (const SNMPError& snmp) {
    switch (snmp.kind()) {
      case SNMPError::Kind::timeout:
        return RouterTrafficStatus::noReply;
      case SNMPError::Kind::localNetworkDenied:
        return RouterTrafficStatus::denied;
      case SNMPError::Kind::unreachable:
        return RouterTrafficStatus::unreachable;
      case SNMPError::Kind::malformed:
      case SNMPError::Kind::agent:
        return RouterTrafficStatus::invalidReply;
    }
  } catch (const SNMPTrafficError& traffic) {
    switch (traffic.kind()) {
      case SNMPTrafficError::Kind::interfaceNotFound:
        return RouterTrafficStatus::interfaceNotFound;
      case SNMPTrafficError::Kind::noCounters:
        return RouterTrafficStatus::noCounters;
    }
  } catch (...) {
    // Every other error, of any type, counts as an unusable answer.
  }
  return RouterTrafficStatus::invalidReply;
}

}  // namespace pulsewell
