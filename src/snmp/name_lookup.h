#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pulsewell {

// One address of a device, ready for socket() and connect().
struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  int family() const { return storage.ss_family; }
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

// The UDP addresses of host:port. A numeric address, also an IPv6 address in brackets as
// users type it ("[::1]"), is known at once; a name is looked up on a thread of its own, so
// that a caller can give up waiting at its deadline while the system's resolver takes as
// long as it takes. The thread keeps what it shares alive and may outlive this object.
class NameLookup {
 public:
  using Clock = std::chrono::steady_clock;

  NameLookup(const std::string& host, std::uint16_t port);
  ~NameLookup();
  NameLookup(const NameLookup&) = delete;
  NameLookup& operator=(const NameLookup&) = delete;

  // The addresses in the resolver's order (empty when there are none), or none while the
  // lookup is still running at `deadline`.
  std::optional<std::vector<SocketAddress>> waitUntil(Clock::time_point deadline);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace pulsewell
