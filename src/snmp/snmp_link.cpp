#include "snmp/snmp_link.h"

#include <netinet/in.h>
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
#include <utility>
#include <vector>

#include "snmp/name_lookup.h"
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

// A name's first addresses only: each one tried costs a socket and a copy of the request.
constexpr std::size_t mostAddressesTried = 8;

// An owned socket descriptor.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Socket() { close(); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int fd() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }
  void close() {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }

 private:
  int fd_ = -1;
};

// A UDP socket connected to `address`; closed when the system refuses it (no route for
// that family, for example).
Socket connectedTo(const SocketAddress& address) {
  Socket socket(::socket(address.family(), SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
  if (!socket.isOpen()) return socket;
  int rc = 0;
  do {
    rc = connect(socket.fd(), address.get(), address.length);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) socket.close();
  return socket;
}

bool sendAll(const Socket& socket, ByteView request) {
  ssize_t sent = 0;
  do {
    sent = send(socket.fd(), request.data(), request.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent >= 0 && static_cast<std::size_t>(sent) == request.size();
}

}  // namespace

struct SNMPLink::State {
  // Set while an exchange runs; a second caller sees it and gives up at once.
  std::atomic<bool> busy{false};
  // A reset asked for while an exchange ran; the next exchange applies it first.
  std::atomic<bool> resetRequested{false};

  // Touched only by the thread that holds `busy`.
  Socket flow;
  // The host and port the open flow leads to.
  std::string flowHost;
  std::uint16_t flowPort = 0;
  // A name lookup that outlasted its exchange; the next exchange to the same host and
  // port waits on for it rather than starting another.
  std::unique_ptr<NameLookup> lookup;
  std::string lookupHost;
  std::uint16_t lookupPort = 0;
  // Kept across exchanges so that a steady exchange on the open flow allocates nothing.
  std::vector<Socket> candidates;
  std::vector<pollfd> waiting;
  Bytes buffer = Bytes(receiveBufferSize);

  // Datagrams or errors queued on a kept flow before this request was sent cannot
  // answer it (a duplicate of an earlier reply, for example): drop them.
  void discardQueued() {
    // Bounded: a device flooding the flow must not keep the request from being sent.
    for (int i = 0; i < 1024; ++i) {
      const ssize_t n = recv(flow.fd(), buffer.data(), 0, MSG_DONTWAIT | MSG_TRUNC);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return;
      }
      // A datagram, a stale error or an interruption: look again.
    }
  }

  std::vector<SocketAddress> addressesOf(const std::string& host, std::uint16_t port,
                                         Clock::time_point deadline);
  void openFlows(const std::string& host, std::uint16_t port, Clock::time_point deadline);
  void firstReply(Clock::time_point deadline, Bytes& reply);
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

std::vector<SocketAddress> SNMPLink::State::addressesOf(const std::string& host, std::uint16_t port,
                                                        Clock::time_point deadline) {
  if (!lookup || lookupHost != host || lookupPort != port) {
    lookup = std::make_unique<NameLookup>(host, port);
    lookupHost = host;
    lookupPort = port;
  }
  auto addresses = lookup->waitUntil(deadline);
  if (!addresses) {
    throw SNMPError::timeout();  // the lookup goes on for the next exchange
  }
  lookup.reset();
  return std::move(*addresses);
}

// One connected socket for each address of the device, in the resolver's order.
void SNMPLink::State::openFlows(const std::string& host, std::uint16_t port,
                                Clock::time_point deadline) {
  for (const SocketAddress& address : addressesOf(host, port, deadline)) {
    if (candidates.size() == mostAddressesTried) {
      break;
    }
    Socket socket = connectedTo(address);
    if (socket.isOpen()) {
      candidates.push_back(std::move(socket));
    }
  }
}

// The first usable datagram on any of `candidates`. The one it came on is moved to the
// front; candidates that report an error (an ICMP port unreachable, say) drop out.
void SNMPLink::State::firstReply(Clock::time_point deadline, Bytes& reply) {
  for (;;) {
    if (candidates.empty()) {
      throw SNMPError::unreachable();
    }
    waiting.clear();
    for (const Socket& candidate : candidates) {
      waiting.push_back({candidate.fd(), POLLIN, 0});
    }
    const int ready = poll(waiting.data(), waiting.size(), millisecondsUntil(deadline));
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
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      if (waiting[i].revents == 0) {
        continue;
      }
      const ssize_t n =
          recv(candidates[i].fd(), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
      if (n < 0) {
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
          // ECONNREFUSED (ICMP port unreachable), ENETUNREACH, EHOSTUNREACH and the like.
          candidates[i].close();
        }
        continue;
      }
      const auto size = static_cast<std::size_t>(n);
      if (size == 0 || size > buffer.size()) {
        continue;  // empty or truncated: unusable, wait on
      }
      std::swap(candidates[i], candidates.front());
      reply.assign(buffer.begin(), buffer.begin() + n);
      return;
    }
    std::erase_if(candidates, [](const Socket& candidate) { return !candidate.isOpen(); });
  }
}

void SNMPLink::State::run(ByteView request, const std::string& host, std::uint16_t port,
                          Clock::time_point deadline, Bytes& reply) {
  candidates.clear();
  if (flow.isOpen() && flowHost == host && flowPort == port) {
    discardQueued();
    candidates.push_back(std::move(flow));
  } else {
    flow.close();
    // Every address of the device is asked at once: a name with an IPv6 and an IPv4
    // address may have an agent on only one of them, and a UDP connect succeeds for both.
    openFlows(host, port, deadline);
  }
  std::erase_if(candidates, [&](const Socket& candidate) { return !sendAll(candidate, request); });
  firstReply(deadline, reply);
  // The address that answered carries the exchanges that follow; the others close.
  flow = std::move(candidates.front());
  candidates.clear();
  flowHost = host;
  flowPort = port;
}

SNMPLink::SNMPLink() : state_(std::make_unique<State>()) {}

SNMPLink::~SNMPLink() = default;

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
    state_->flow.close();
  }
  try {
    state_->run(request, host, port, deadline, reply);
  } catch (...) {
    // Every failure closes the flow, so a late reply can never reach the next exchange.
    state_->flow.close();
    state_->candidates.clear();
    throw;
  }
}

void SNMPLink::reset() {
  state_->resetRequested.store(true);
  // Idle: close now. Otherwise the exchange that holds the link applies it next time.
  if (!state_->busy.exchange(true, std::memory_order_acquire)) {
    const BusyClaim claim(state_->busy);
    if (state_->resetRequested.exchange(false)) {
      state_->flow.close();
    }
  }
}

}  // namespace pulsewell
