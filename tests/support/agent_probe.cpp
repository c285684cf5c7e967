#include "tests/support/agent_probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <vector>

namespace pulsewell::test {
namespace {

constexpr int probeWaitMilliseconds = 100;
// Short-form lengths only: enough for any community a test uses.
constexpr std::size_t longestCommunity = 90;

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// GetRequest for sysUpTime.0, request-id 1, written out byte by byte.
std::vector<std::uint8_t> sysUpTimeRequest(std::string_view community) {
  if (community.size() > longestCommunity) throw std::invalid_argument("community too long");
  constexpr std::array<std::uint8_t, 27> pdu = {
      0xA0, 0x19,                                                  // GetRequest, 25 bytes
      0x02, 0x01, 0x01,                                            // request-id 1
      0x02, 0x01, 0x00,                                            // error-status
      0x02, 0x01, 0x00,                                            // error-index
      0x30, 0x0E, 0x30, 0x0C,                                      // bindings, one binding
      0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00,  // 1.3.6.1.2.1.1.3.0
      0x05, 0x00,                                                  // NULL
  };
  const auto size = static_cast<std::uint8_t>(3 + 2 + community.size() + pdu.size());
  std::vector<std::uint8_t> request = {0x30, size,
                                       0x02, 0x01,
                                       0x01,  // Message, version v2c
                                       0x04, static_cast<std::uint8_t>(community.size())};
  request.insert(request.end(), community.begin(), community.end());
  request.insert(request.end(), pdu.begin(), pdu.end());
  return request;
}

}  // namespace

std::uint16_t freeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("cannot find a free UDP port on 127.0.0.1");
  }
  close(fd);
  return ntohs(address.sin_port);
}

bool agentAnswers(std::uint16_t port, std::string_view community) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in to = loopback(port);
  const auto request = sysUpTimeRequest(community);
  sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  pollfd p{fd, POLLIN, 0};
  bool answered = false;
  if (poll(&p, 1, probeWaitMilliseconds) > 0) {
    std::array<std::uint8_t, 2048> buffer{};
    answered = recv(fd, buffer.data(), buffer.size(), 0) > 0;
  }
  close(fd);
  return answered;
}

}  // namespace pulsewell::test
