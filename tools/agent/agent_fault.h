#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "snmp/snmp_value.h"

namespace pulsewell {

// How the simulator agent misbehaves for one request. Faults are queued and each request
// it would answer takes the next one ("drop, drop, answer"); with the queue empty it
// answers normally.
struct AgentFault {
  enum class Kind {
    none,                  // answer normally
    drop,                  // no answer at all
    delay,                 // the normal answer, `delay` later
    duplicate,             // the normal answer, sent twice
    wrongRequestId,        // the normal answer carrying another request-id
    garbage,               // `bytes` instead of an answer
    emptyDatagram,         // a datagram of zero bytes instead of an answer
    errorStatus,           // `errorStatus` with the request's bindings echoed
    ignoreMaxRepetitions,  // a GetBulk answered with exactly `bindings` bindings
    outOfOrder,            // the bindings in reverse order (a single one twice)
    otherPort,             // the normal answer, sent from another local port
  };

  Kind kind = Kind::none;
  std::chrono::milliseconds delay{0};
  std::int64_t errorStatus = 0;
  std::size_t bindings = 0;
  Bytes bytes{};

  static AgentFault none() { return {}; }
  static AgentFault drop() { return {.kind = Kind::drop}; }
  static AgentFault delayed(std::chrono::milliseconds by) {
    return {.kind = Kind::delay, .delay = by};
  }
  static AgentFault duplicate() { return {.kind = Kind::duplicate}; }
  static AgentFault wrongRequestId() { return {.kind = Kind::wrongRequestId}; }
  // Default bytes: a SEQUENCE whose length runs past the datagram.
  static AgentFault garbage(Bytes datagram = {0x30, 0x7F, 0xDE, 0xAD, 0xBE, 0xEF}) {
    return {.kind = Kind::garbage, .bytes = std::move(datagram)};
  }
  static AgentFault emptyDatagram() { return {.kind = Kind::emptyDatagram}; }
  static AgentFault error(std::int64_t status) {
    return {.kind = Kind::errorStatus, .errorStatus = status};
  }
  static AgentFault ignoreMaxRepetitions(std::size_t count) {
    return {.kind = Kind::ignoreMaxRepetitions, .bindings = count};
  }
  static AgentFault outOfOrder() { return {.kind = Kind::outOfOrder}; }
  static AgentFault otherPort() { return {.kind = Kind::otherPort}; }

  bool operator==(const AgentFault&) const = default;
};

}  // namespace pulsewell
