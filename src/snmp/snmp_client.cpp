#include "snmp/snmp_client.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <random>

#include "snmp/snmp_error.h"

namespace pulsewell {

namespace {

constexpr std::uint32_t largestRequestID = 0x7FFF'FFFF;

// Uniform over 1 ... 2^31 - 1 from the kernel's random source: 31 random bits, and
// the one value 0 drawn again.
std::int32_t drawRequestID() {
  for (;;) {
    std::uint32_t raw = 0;
    const ssize_t n = getrandom(&raw, sizeof raw, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n != static_cast<ssize_t>(sizeof raw)) {
      // No getrandom (very old kernel): the library's device source, same range.
      std::random_device device;
      std::uniform_int_distribution<std::int32_t> ids(1,
                                                      static_cast<std::int32_t>(largestRequestID));
      return ids(device);
    }
    const std::uint32_t id = raw & largestRequestID;
    if (id != 0) {
      return static_cast<std::int32_t>(id);
    }
  }
}

bool isTimeout(const SNMPError& error) {
  return error.kind() == SNMPError::Kind::timeout;
}

// `oid` begins with every arc of `root`.
bool startsWith(const OID& oid, const OID& root) {
  return oid.size() >= root.size() && std::equal(root.begin(), root.end(), oid.begin());
}

}  // namespace

std::vector<SNMPVarBind> SNMPClient::request(SNMPCodec::Request kind,
                                             const std::vector<OID>& oids) const {
  // 64 bits: even retries = INT_MAX cannot overflow the count.
  for (std::int64_t attempt = 0;; ++attempt) {
    if (stop.stop_requested()) throw SNMPStopped{};
    const bool lastAttempt = attempt >= retries;
    const std::int32_t id = drawRequestID();
    const Bytes message = SNMPCodec::encode(kind, id, community, oids);

    Bytes reply;
    try {
      if (transport) {
        reply = transport(message);
      } else if (link) {
        reply = link->exchange(message, host, port, timeout);
      } else {
        throw SNMPError::unreachable();
      }
    } catch (const SNMPError& error) {
      if (isTimeout(error) && !lastAttempt) {
        continue;
      }
      throw;
    }

    const auto response = SNMPCodec::decodeResponse(reply);
    if (response && response->id == id) {
      if (response->errorStatus != 0) {
        throw SNMPError::agent(response->errorStatus);
      }
      return response->varBinds;
    }
    // Unusable or meant for another request: start the next attempt on a fresh flow.
    if (link) {
      link->reset();
    }
    if (lastAttempt) {
      throw SNMPError::malformed();
    }
  }
}

std::vector<SNMPVarBind> SNMPClient::get(const std::vector<OID>& oids) const {
  return request(SNMPCodec::Request::get, oids);
}

std::vector<SNMPVarBind> SNMPClient::walk(const OID& root, int limit) const {
  std::vector<SNMPVarBind> result;
  OID current = root;
  while (result.size() < static_cast<std::size_t>(std::max(limit, 0))) {
    std::vector<SNMPVarBind> bindings = request(SNMPCodec::Request::getBulk, {current});
    if (bindings.empty()) {
      return result;
    }
    for (SNMPVarBind& binding : bindings) {
      if (binding.value.isMissing() || !startsWith(binding.oid, root)) {
        return result;
      }
      // Arc by arc as unsigned numbers, a proper prefix first: the vector's own order.
      if (!(current < binding.oid)) {
        throw SNMPError::malformed();
      }
      current = binding.oid;
      result.push_back(std::move(binding));
    }
  }
  return result;
}

}  // namespace pulsewell
