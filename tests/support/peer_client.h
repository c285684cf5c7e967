#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "snmp/snmp_client.h"

namespace pulsewell::test {

// A client for a test peer on this machine. The default timeout is long enough that an answer
// on a loaded machine never misses it; only tests that expect silence should pass a short one.
inline SNMPClient peerClient(std::string host, std::uint16_t port, std::string community,
                             double timeout = 2.0, int retries = 1) {
  SNMPClient client;
  client.host = std::move(host);
  client.port = port;
  client.community = std::move(community);
  client.timeout = timeout;
  client.retries = retries;
  return client;
}

}  // namespace pulsewell::test
