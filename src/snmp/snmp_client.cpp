#include "snmp/snmp_client.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <numeric>
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
bool startsWith(OIDView oid, const OID& root) {
  return oid.size() >= root.size() && std::equal(root.begin(), root.end(), oid.begin());
}

// Arc by arc as unsigned numbers, a proper prefix first: the order of a walk.
bool comesBefore(const OID& earlier, OIDView later) {
  return std::lexicographical_compare(earlier.begin(), earlier.end(), later.begin(), later.end());
}

}  // namespace

std::span<const SNMPVarBindView> SNMPClient::request(SNMPCodec::Request kind,
                                                     std::span<const OID> oids,
                                                     SNMPRequestBuffers& buffers) const {
  // 64 bits: even retries = INT_MAX cannot overflow the count.
  for (std::int64_t attempt = 0;; ++attempt) {
    if (stop.stop_requested()) throw SNMPStopped{};
    const bool lastAttempt = attempt >= retries;
    const std::int32_t id = drawRequestID();
    SNMPCodec::encode(kind, id, community, oids, buffers.request);

    try {
      if (transport) {
        buffers.reply = transport(buffers.request);
      } else if (link) {
        link->exchange(buffers.request, host, port, timeout, buffers.reply);
      } else {
        throw SNMPError::unreachable();
      }
    } catch (const SNMPError& error) {
      if (isTimeout(error) && !lastAttempt) {
        continue;
      }
      throw;
    }

    const auto response = SNMPCodec::decodeResponse(buffers.reply, buffers.decoded);
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

std::vector<SNMPVarBind> SNMPClient::request(SNMPCodec::Request kind,
                                             const std::vector<OID>& oids) const {
  SNMPRequestBuffers buffers;
  const auto bindings = request(kind, oids, buffers);
  std::vector<SNMPVarBind> result;
  result.reserve(bindings.size());
  for (const SNMPVarBindView& binding : bindings) {
    result.push_back(SNMPCodec::owned(binding));
  }
  return result;
}

std::vector<SNMPVarBind> SNMPClient::get(const std::vector<OID>& oids) const {
  return request(SNMPCodec::Request::get, oids);
}

std::vector<SNMPVarBind> SNMPClient::walk(const OID& root, int limit) const {
  return std::move(walkColumns({root}, limit).front());
}

std::vector<std::vector<SNMPVarBind>> SNMPClient::walkColumns(const std::vector<OID>& roots,
                                                              int limit) const {
  std::vector<std::vector<SNMPVarBind>> results(roots.size());
  const auto most = static_cast<std::size_t>(std::max(limit, 0));
  // The walks still going, in request order: which result each fills and the OID it goes
  // on from.
  std::vector<std::size_t> walks(roots.size());
  std::iota(walks.begin(), walks.end(), std::size_t{0});
  std::vector<OID> current = roots;
  std::vector<char> ended;
  const auto keepOnly = [&](const auto& keep) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < walks.size(); ++i) {
      if (!keep(i)) {
        continue;
      }
      if (kept != i) {
        walks[kept] = walks[i];
        current[kept] = std::move(current[i]);
      }
      ++kept;
    }
    walks.resize(kept);
    current.resize(kept);
  };

  SNMPRequestBuffers buffers;
  for (;;) {
    // The limit is compared only before each request, never inside a batch.
    keepOnly([&](std::size_t i) { return results[walks[i]].size() < most; });
    if (walks.empty()) {
      return results;
    }
    const auto bindings = request(SNMPCodec::Request::getBulk, current, buffers);
    if (bindings.empty()) {
      return results;
    }
    // A GetBulk answer runs row by row: binding j continues walk j modulo their number.
    ended.assign(walks.size(), 0);
    for (std::size_t j = 0; j < bindings.size(); ++j) {
      const std::size_t i = j % walks.size();
      const SNMPVarBindView& binding = bindings[j];
      if (ended[i] != 0) {
        continue;
      }
      if (binding.value.isMissing() || !startsWith(binding.oid, roots[walks[i]])) {
        ended[i] = 1;
        continue;
      }
      if (!comesBefore(current[i], binding.oid)) {
        throw SNMPError::malformed();
      }
      current[i].assign(binding.oid.begin(), binding.oid.end());
      results[walks[i]].push_back(SNMPCodec::owned(binding));
    }
    keepOnly([&](std::size_t i) { return ended[i] == 0; });
  }
}

}  // namespace pulsewell
