#include "snmp/snmp_link.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <string>

#include "snmp/snmp_error.h"

namespace pulsewell {

namespace {

using Clock = std::chrono::steady_clock;

// Large enough for any UDP datagram, so only a datagram beyond that is truncated.
constexpr std::size_t receiveBufferSize = std::size_t{64} * 1024;
// Keeps a huge or infinite timeout from overflowing the clock arithmetic.
constexpr double longestTimeoutSeconds = 24.0 * 60.0 * 60.0;

Clock::time_point deadlineAfter(double timeoutSeconds) {
  double seconds = timeoutSeconds;
  if (!(seconds > 0.0)) {  // also NaN
    seconds = 0.0;
  }
  seconds = std::min(seconds, longestTimeoutSeconds);
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Whole milliseconds left, rounded up so that poll never wakes just before the deadline.
int millisecondsUntil(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) {
    return 0;
  }
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, 86'400'000));
}

class AddressList {
 public:
  AddressList(const std::string& host, const std::string& port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    hints.ai_flags = AI_NUMERICSERV;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &list_) != 0) {
      list_ = nullptr;
    }
  }
  ~AddressList() {
    if (list_ != nullptr) {
      freeaddrinfo(list_);
    }
  }
  AddressList(const AddressList&) = delete;
  AddressList& operator=(const AddressList&) = delete;

  const addrinfo* first() const { return list_; }

 private:
  addrinfo* list_ = nullptr;
};

// A UDP socket connected to the first address of `host` that accepts it, or -1.
int openFlow(const std::string& host, std::uint16_t port) {
  const AddressList addresses(host, std::to_string(port));
  for (const addrinfo* a = addresses.first(); a != nullptr; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      continue;
    }
    int rc = 0;
    do {
      rc = connect(fd, a->ai_addr, a->ai_addrlen);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
      return fd;
    }
    close(fd);
  }
  return -1;
}

}  // namespace

struct SNMPLink::State {
  // Set while an exchange runs; a second caller sees it and gives up at once.
  std::atomic<bool> busy{false};
  // A reset asked for while an exchange ran; the next exchange applies it first.
  std::atomic<bool> resetRequested{false};

  // Touched only by the thread that holds `busy`.
  int fd = -1;
  // The host and port the open flow leads to.
  std::string flowHost;
  std::uint16_t flowPort = 0;
  Bytes buffer = Bytes(receiveBufferSize);

  void closeFlow() {
    if (fd >= 0) {
      close(fd);
      fd = -1;
    }
  }

  // Datagrams or errors queued on a kept flow before this request was sent cannot
  // answer it (a duplicate of an earlier reply, for example): drop them.
  void discardQueued() {
    // Bounded: a device flooding the flow must not keep the request from being sent.
    for (int i = 0; i < 1024; ++i) {
      const ssize_t n = recv(fd, buffer.data(), 0, MSG_DONTWAIT | MSG_TRUNC);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return;
      }
      // A datagram, a stale error or an interruption: look again.
    }
  }

  void run(ByteView request, const std::string& host, std::uint16_t port,
           Clock::time_point deadline, Bytes& reply);
};

namespace {

// Releases the one-exchange-at-a-time claim however the exchange ends.
class BusyClaim {
 public:
  explicit BusyClaim(std::atomic<bool>& busy) : busy_(busy) {}
  ~BusyClaim() { busy_.store(false, std::memory_order_release); }
  BusyClaim(const BusyClaim&) = delete;
  BusyClaim& operator=(const BusyClaim&) = delete;

 private:
  std::atomic<bool>& busy_;
};

}  // namespace

void SNMPLink::State::run(ByteView request, const std::string& host, std::uint16_t port,
                          Clock::time_point deadline, Bytes& reply) {
  if (fd >= 0 && flowHost == host && flowPort == port) {
    discardQueued();
  } else {
    closeFlow();
    fd = openFlow(host, port);
    if (fd < 0) {
      throw SNMPError::unreachable();
    }
    flowHost = host;
    flowPort = port;
  }

  ssize_t sent = 0;
  do {
    sent = send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0 || static_cast<std::size_t>(sent) != request.size()) {
    throw SNMPError::unreachable();
  }

  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, millisecondsUntil(deadline));
    if (ready < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw SNMPError::unreachable();
    }
    if (ready == 0) {
      if (Clock::now() < deadline) {
        continue;  // woke early by rounding
      }
      throw SNMPError::timeout();
    }
    const ssize_t n = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
        continue;
      }
      // ECONNREFUSED (ICMP port unreachable), ENETUNREACH, EHOSTUNREACH and the like.
      throw SNMPError::unreachable();
    }
    const auto size = static_cast<std::size_t>(n);
    if (size == 0 || size > buffer.size()) {
      continue;  // empty or truncated: unusable, wait on
    }
    reply.assign(buffer.begin(), buffer.begin() + n);
    return;
  }
}

SNMPLink::SNMPLink() : state_(std::make_unique<State>()) {}

SNMPLink::~SNMPLink() {
  state_->closeFlow();
}

Bytes SNMPLink::exchange(ByteView request, const std::string& host, std::uint16_t port,
                         double timeoutSeconds) {
  Bytes reply;
  exchange(request, host, port, timeoutSeconds, reply);
  return reply;
}

void SNMPLink::exchange(ByteView request, const std::string& host, std::uint16_t port,
                        double timeoutSeconds, Bytes& reply) {
  // Port 0 is no destination; a NUL would cut the name the resolver sees short.
  if (port == 0 || host.empty() || host.find('\0') != std::string::npos) {
    throw SNMPError::unreachable();
  }
  if (state_->busy.exchange(true, std::memory_order_acquire)) {
    throw SNMPError::unreachable();
  }
  const BusyClaim claim(state_->busy);
  const auto deadline = deadlineAfter(timeoutSeconds);
  if (state_->resetRequested.exchange(false)) {
    state_->closeFlow();
  }
  try {
    state_->run(request, host, port, deadline, reply);
  } catch (...) {
    // Every failure closes the flow, so a late reply can never reach the next exchange.
    state_->closeFlow();
    throw;
  }
}

void SNMPLink::reset() {
  state_->resetRequested.store(true);
  // Idle: close now. Otherwise the exchange that holds the link applies it next time.
  if (!state_->busy.exchange(true, std::memory_order_acquire)) {
    const BusyClaim claim(state_->busy);
    if (state_->resetRequested.exchange(false)) {
      state_->closeFlow();
    }
  }
}

}  // namespace pulsewell
