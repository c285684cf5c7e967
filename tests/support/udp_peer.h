#pragma once

// A bound UDP socket on a loopback address and an ephemeral port, driven by the test:
// it stands for the device at the other end of a link.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "snmp/snmp_value.h"

namespace pulsewell::test {

struct Datagram {
  Bytes bytes;
  sockaddr_storage from{};
  socklen_t fromLength = 0;

  std::uint16_t fromPort() const {
    if (from.ss_family == AF_INET6) {
      return ntohs(reinterpret_cast<const sockaddr_in6&>(from).sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in&>(from).sin_port);
  }
};

class UdpPeer {
 public:
  // `address` is a numeric loopback address, "127.0.0.1" or "::1".
  explicit UdpPeer(const std::string& address = "127.0.0.1") {
    sockaddr_storage local{};
    socklen_t length = 0;
    if (address.find(':') != std::string::npos) {
      auto& six = reinterpret_cast<sockaddr_in6&>(local);
      six.sin6_family = AF_INET6;
      inet_pton(AF_INET6, address.c_str(), &six.sin6_addr);
      length = sizeof six;
    } else {
      auto& four = reinterpret_cast<sockaddr_in&>(local);
      four.sin_family = AF_INET;
      inet_pton(AF_INET, address.c_str(), &four.sin_addr);
      length = sizeof four;
    }
    fd_ = socket(local.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&local), length) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
      throw std::runtime_error("cannot bind a UDP peer on " + address);
    }
    port_ = local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6&>(local).sin6_port)
                                        : ntohs(reinterpret_cast<sockaddr_in&>(local).sin_port);
  }
  ~UdpPeer() { close(fd_); }
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  std::uint16_t port() const { return port_; }

  // The next datagram, or none when nothing arrives within `wait`.
  std::optional<Datagram> receive(std::chrono::milliseconds wait) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) {
      return std::nullopt;
    }
    Datagram datagram;
    datagram.bytes.resize(std::size_t{64} * 1024);
    datagram.fromLength = sizeof datagram.from;
    const ssize_t n = recvfrom(fd_, datagram.bytes.data(), datagram.bytes.size(), 0,
                               reinterpret_cast<sockaddr*>(&datagram.from), &datagram.fromLength);
    if (n < 0) {
      return std::nullopt;
    }
    datagram.bytes.resize(static_cast<std::size_t>(n));
    return datagram;
  }

  // Sends `bytes` back to the sender of `to`.
  void reply(const Datagram& to, const Bytes& bytes) const {
    sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to.from),
           to.fromLength);
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A port on which nothing listens: bound once to learn it, then released.
inline std::uint16_t unusedUdpPort(const std::string& address = "127.0.0.1") {
  const UdpPeer peer(address);
  return peer.port();
}

}  // namespace pulsewell::test
