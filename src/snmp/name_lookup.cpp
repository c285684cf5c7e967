#include "snmp/name_lookup.h"

#include <netdb.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace pulsewell {
namespace {

// The UDP addresses getaddrinfo gives for host and port; empty when it gives none.
std::vector<SocketAddress> lookUp(const std::string& host, const std::string& port, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  hints.ai_flags = AI_NUMERICSERV | flags;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0) return {};
  std::vector<SocketAddress> addresses;
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
    SocketAddress address;
    if (a->ai_addr == nullptr || a->ai_addrlen > sizeof address.storage) continue;
    std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
    address.length = a->ai_addrlen;
    addresses.push_back(address);
  }
  freeaddrinfo(list);
  return addresses;
}

// The addresses of a numeric host, found without asking anyone; none for a name.
std::optional<std::vector<SocketAddress>> numericAddresses(const std::string& host,
                                                           const std::string& port) {
  // Brackets set an IPv6 address apart from a port, as in URLs; only an address may stand
  // between them.
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    return lookUp(host.substr(1, host.size() - 2), port, AI_NUMERICHOST);
  }
  auto addresses = lookUp(host, port, AI_NUMERICHOST);
  if (addresses.empty()) return std::nullopt;
  return addresses;
}

}  // namespace

struct NameLookup::Shared {
  std::mutex mutex;
  std::condition_variable finished;
  std::optional<std::vector<SocketAddress>> addresses;  // set once the lookup has ended
};

NameLookup::NameLookup(const std::string& host, std::uint16_t port)
    : shared_(std::make_shared<Shared>()) {
  const std::string service = std::to_string(port);
  if (auto numeric = numericAddresses(host, service)) {
    shared_->addresses = std::move(numeric);
    return;
  }
  try {
    std::thread([shared = shared_, host, service] {
      auto found = lookUp(host, service, 0);
      {
        const std::lock_guard lock(shared->mutex);
        shared->addresses = std::move(found);
      }
      shared->finished.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: no addresses, so the device counts as unreachable.
    shared_->addresses.emplace();
  }
}

NameLookup::~NameLookup() = default;

std::optional<std::vector<SocketAddress>> NameLookup::waitUntil(Clock::time_point deadline) {
  std::unique_lock lock(shared_->mutex);
  if (!shared_->finished.wait_until(lock, deadline,
                                    [this] { return shared_->addresses.has_value(); })) {
    return std::nullopt;
  }
  return shared_->addresses;
}

}  // namespace pulsewell
