#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "snmp/snmp_value.h"

namespace pulsewell {

// One request/response exchange over UDP with a device. Blocking: the exchange runs
// on the calling thread, and never past its timeout, name lookup included. A connected
// flow is kept after a successful exchange and reused for the same host and port; every
// failure closes it. One exchange at a time: a second caller while one runs fails with
// `unreachable` at once.
class SNMPLink {
 public:
  SNMPLink();
  ~SNMPLink();
  SNMPLink(const SNMPLink&) = delete;
  SNMPLink& operator=(const SNMPLink&) = delete;

  // Sends `request` as one datagram and returns the first non-empty datagram that
  // comes back from host:port. `host` is a name, a numeric address or an IPv6 address in
  // brackets. A new flow asks every address of the host at once, and the one that answers
  // carries the flow. Throws SNMPError (unreachable, or timeout, also when the name lookup
  // has not finished in time).
  Bytes exchange(ByteView request, const std::string& host, std::uint16_t port,
                 double timeoutSeconds);
  // The same, with the reply written into `reply`: a buffer kept across exchanges is
  // reused without allocating.
  void exchange(ByteView request, const std::string& host, std::uint16_t port,
                double timeoutSeconds, Bytes& reply);

  // Drops the flow so that the next exchange starts on a fresh one.
  void reset();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pulsewell
