#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "snmp/snmp_codec.h"
#include "snmp/snmp_link.h"
#include "snmp/snmp_value.h"

namespace pulsewell {

// Replaces the link for every attempt when set: request bytes in, reply bytes out.
// May throw; SNMPError::timeout() is retried like a lost reply.
using SNMPTransport = std::function<Bytes(const Bytes& request)>;

// What one request after another needs: the encoded request, the reply datagram and its
// bindings decoded in place. Kept by a caller that asks again and again, they grow once and
// from then on a request allocates nothing.
struct SNMPRequestBuffers {
  Bytes request;
  Bytes reply;
  SNMPCodec::DecodeStorage decoded;
};

// The SNMP v2c client. A value: copies share the link.
struct SNMPClient {
  static constexpr int walkLimit = 2048;
  // Where an SNMP agent listens unless told otherwise.
  static constexpr std::uint16_t standardPort = 161;

  std::string host;
  std::uint16_t port = standardPort;
  std::string community;
  double timeout = 1.0;
  int retries = 1;
  SNMPTransport transport;
  std::shared_ptr<SNMPLink> link = std::make_shared<SNMPLink>();
  // Once a stop is requested, no further attempt is sent: a request or a walk ends at its
  // next exchange with SNMPStopped.
  std::stop_token stop;

  // One GetRequest for all `oids`; the bindings in the agent's order.
  std::vector<SNMPVarBind> get(const std::vector<OID>& oids) const;
  // The subtree under `root` in ascending OID order, walked with GetBulk.
  std::vector<SNMPVarBind> walk(const OID& root, int limit) const;
  // Several subtrees walked side by side, typically columns of one table: each GetBulk
  // asks for the next rows of every subtree not finished yet, so n rows of k columns take
  // n / 20 round trips instead of k * n / 20. Each result, in the order of `roots`, is
  // what walk(root, limit) gives from an agent that answers consistently.
  std::vector<std::vector<SNMPVarBind>> walkColumns(const std::vector<OID>& roots, int limit) const;
  std::vector<SNMPVarBind> request(SNMPCodec::Request kind, const std::vector<OID>& oids) const;
  // The same request with the reply's bindings decoded into `buffers`: valid until the
  // buffers are used again.
  std::span<const SNMPVarBindView> request(SNMPCodec::Request kind, std::span<const OID> oids,
                                           SNMPRequestBuffers& buffers) const;
};

}  // namespace pulsewell
