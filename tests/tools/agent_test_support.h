#pragma once

// A plain UDP socket that talks to a SimulatorAgent, and requests built field by field,
// so tests can send what SNMPClient never would (GetNext, Set, any GetBulk settings).

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
#include <string_view>
#include <vector>

#include "snmp/snmp_codec.h"
#include "snmp/snmp_value.h"

namespace pulsewell::test {

struct Received {
  Bytes bytes;
  std::uint16_t fromPort = 0;
};

// Unconnected, so it also sees answers that come from another port.
class AgentTestClient {
 public:
  explicit AgentTestClient(std::uint16_t agentPort, const std::string& address = "127.0.0.1") {
    const bool six = address.find(':') != std::string::npos;
    fd_ = socket(six ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error("cannot open a UDP socket");
    if (six) {
      sockaddr_in6 to{};
      to.sin6_family = AF_INET6;
      to.sin6_port = htons(agentPort);
      inet_pton(AF_INET6, address.c_str(), &to.sin6_addr);
      std::memcpy(&agent_, &to, sizeof to);
      agentLength_ = sizeof to;
    } else {
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_port = htons(agentPort);
      inet_pton(AF_INET, address.c_str(), &to.sin_addr);
      std::memcpy(&agent_, &to, sizeof to);
      agentLength_ = sizeof to;
    }
  }
  ~AgentTestClient() { close(fd_); }
  AgentTestClient(const AgentTestClient&) = delete;
  AgentTestClient& operator=(const AgentTestClient&) = delete;

  void send(const Bytes& datagram) const {
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&agent_),
           agentLength_);
  }

  // The next datagram, or none when nothing arrives within `wait`.
  std::optional<Received> receive(std::chrono::milliseconds wait) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return std::nullopt;
    Received received;
    received.bytes.resize(64 * 1024);
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const ssize_t n = recvfrom(fd_, received.bytes.data(), received.bytes.size(), 0,
                               reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return std::nullopt;
    received.bytes.resize(static_cast<std::size_t>(n));
    received.fromPort = from.ss_family == AF_INET6
                            ? ntohs(reinterpret_cast<const sockaddr_in6*>(&from)->sin6_port)
                            : ntohs(reinterpret_cast<const sockaddr_in*>(&from)->sin_port);
    return received;
  }

  // Sends and decodes the answer; none when nothing decodable arrives within `wait`.
  std::optional<SNMPCodec::Response> exchange(
      const Bytes& datagram, std::chrono::milliseconds wait = std::chrono::seconds(2)) const {
    send(datagram);
    const auto answer = receive(wait);
    if (!answer) return std::nullopt;
    return SNMPCodec::decodeResponse(answer->bytes);
  }

 private:
  int fd_ = -1;
  sockaddr_storage agent_{};
  socklen_t agentLength_ = 0;
};

inline constexpr std::uint8_t getRequest = 0xA0;
inline constexpr std::uint8_t getNextRequest = 0xA1;
inline constexpr std::uint8_t setRequest = 0xA3;
inline constexpr std::uint8_t getBulkRequest = 0xA5;

// A GetRequest for ifName.5, request-id 1, community "public", written out by hand so that
// no mistake shared with the codec can hide.
inline const Bytes handWrittenGet = {
    0x30, 0x29,                                      // Message, 41 bytes
    0x02, 0x01, 0x01,                                // version 1 (v2c)
    0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',   // community "public"
    0xA0, 0x1C,                                      // GetRequest, 28 bytes
    0x02, 0x01, 0x01,                                // request-id 1
    0x02, 0x01, 0x00,                                // error-status 0
    0x02, 0x01, 0x00,                                // error-index 0
    0x30, 0x11,                                      // variable-bindings, 17 bytes
    0x30, 0x0F,                                      // VarBind, 15 bytes
    0x06, 0x0B, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x1F,  // 1.3.6.1.2.1.31
    0x01, 0x01, 0x01, 0x01, 0x05,                    //   .1.1.1.1.5 = ifName.5
    0x05, 0x00,                                      // NULL
};

inline void append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

// A v2c request with any PDU tag and any values in the second and third INTEGER
// (non-repeaters and max-repetitions in a GetBulk). Bindings carry `value` (NULL by default).
inline Bytes requestBytes(std::uint8_t pdu, std::int32_t id, std::string_view community,
                          std::int64_t second, std::int64_t third, const std::vector<OID>& oids,
                          const Bytes& value = {0x05, 0x00}) {
  using SNMPCodec::tlv;
  Bytes list;
  for (const OID& oid : oids) {
    Bytes binding = tlv(0x06, SNMPCodec::oidBytes(oid));
    append(binding, value);
    append(list, tlv(0x30, binding));
  }
  Bytes body = SNMPCodec::integer(id);
  append(body, SNMPCodec::integer(second));
  append(body, SNMPCodec::integer(third));
  append(body, tlv(0x30, list));
  Bytes message = SNMPCodec::integer(1);
  append(message, tlv(0x04, Bytes(community.begin(), community.end())));
  append(message, tlv(pdu, body));
  return tlv(0x30, message);
}

inline Bytes bulkRequest(std::int32_t id, std::int64_t nonRepeaters, std::int64_t maxRepetitions,
                         const std::vector<OID>& oids, std::string_view community = "public") {
  return requestBytes(getBulkRequest, id, community, nonRepeaters, maxRepetitions, oids);
}

inline Bytes getRequestBytes(std::int32_t id, const std::vector<OID>& oids,
                             std::string_view community = "public") {
  return requestBytes(getRequest, id, community, 0, 0, oids);
}

inline std::vector<OID> oidsOf(const std::vector<SNMPVarBind>& bindings) {
  std::vector<OID> oids;
  for (const auto& binding : bindings)
    oids.push_back(binding.oid);
  return oids;
}

}  // namespace pulsewell::test
