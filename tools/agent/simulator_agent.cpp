#include "agent/simulator_agent.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "agent/agent_protocol.h"
#include "snmp/ber_tags.h"

namespace pulsewell {

namespace {

// Holds any UDP datagram; a larger one is reported truncated and ignored.
constexpr std::size_t receiveBufferSize = std::size_t{64} * 1024;

struct BindAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
};

// `address` as a generic socket address with its length.
template <typename SocketAddress>
BindAddress stored(const SocketAddress& address) {
  BindAddress result;
  std::memcpy(&result.address, &address, sizeof address);
  result.length = sizeof address;
  return result;
}

// The socket address of a numeric loopback address with port `port`; the agent never
// listens anywhere a remote host could reach it.
BindAddress loopbackAddress(const std::string& text, std::uint16_t port) {
  const auto notLoopback = [&text] {
    return std::invalid_argument(text + " is not a loopback address");
  };
  in_addr four{};
  if (inet_pton(AF_INET, text.c_str(), &four) == 1) {
    if ((ntohl(four.s_addr) >> 24U) != 127U) throw notLoopback();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr = four;
    return stored(address);
  }
  in6_addr six{};
  if (inet_pton(AF_INET6, text.c_str(), &six) == 1) {
    if (IN6_IS_ADDR_LOOPBACK(&six) == 0) throw notLoopback();
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = six;
    return stored(address);
  }
  throw std::invalid_argument("'" + text +
                              "' is not a numeric loopback address (127.0.0.1 or ::1)");
}

[[noreturn]] void throwErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

int boundSocket(const BindAddress& bind) {
  const int fd = socket(bind.address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) throwErrno("cannot open a UDP socket");
  if (bind.address.ss_family == AF_INET6) {
    const int only = 1;
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&bind.address), bind.length) != 0) {
    const int error = errno;
    close(fd);
    throw std::system_error(error, std::generic_category(), "cannot bind the UDP socket");
  }
  return fd;
}

std::uint16_t boundPort(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throwErrno("cannot read the bound port");
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
  }
  return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

void closeIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

bool isAnswered(std::uint8_t pdu) {
  return pdu == BERTag::getRequest || pdu == BERTag::getNextRequest ||
         pdu == BERTag::getBulkRequest || pdu == BERTag::setRequest;
}

std::int32_t otherId(std::int32_t id) {
  return id == std::numeric_limits<std::int32_t>::max() ? id - 1 : id + 1;
}

}  // namespace

struct SimulatorAgent::Destination {
  sockaddr_storage address{};
  socklen_t length = 0;
};

struct SimulatorAgent::Outgoing {
  std::chrono::steady_clock::time_point due;
  Bytes datagram;
  Destination to;
};

SimulatorAgent::SimulatorAgent() : SimulatorAgent(Options{}) {}

SimulatorAgent::SimulatorAgent(Options options) : options_(std::move(options)) {
  const BindAddress address = loopbackAddress(options_.bindAddress, options_.port);
  try {
    socket_ = boundSocket(address);
    port_ = boundPort(socket_);
    otherSocket_ = boundSocket(loopbackAddress(options_.bindAddress, 0));
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) throwErrno("cannot open the wake-up pipe");
    wakeRead_ = ends[0];
    wakeWrite_ = ends[1];
    thread_ = std::jthread([this](const std::stop_token& stop) { run(stop); });
  } catch (...) {
    closeIfOpen(socket_);
    closeIfOpen(otherSocket_);
    closeIfOpen(wakeRead_);
    closeIfOpen(wakeWrite_);
    throw;
  }
}

SimulatorAgent::~SimulatorAgent() {
  thread_.request_stop();
  const char wake = 0;
  [[maybe_unused]] const ssize_t written = write(wakeWrite_, &wake, 1);
  thread_.join();
  closeIfOpen(socket_);
  closeIfOpen(otherSocket_);
  closeIfOpen(wakeRead_);
  closeIfOpen(wakeWrite_);
}

AgentTable SimulatorAgent::table() const {
  const std::scoped_lock lock(mutex_);
  return table_;
}

void SimulatorAgent::setTable(AgentTable table) {
  const std::scoped_lock lock(mutex_);
  table_ = std::move(table);
}

void SimulatorAgent::set(OID oid, AgentValue value) {
  const std::scoped_lock lock(mutex_);
  table_.set(std::move(oid), std::move(value));
}

void SimulatorAgent::set(OID oid, const SNMPValue& value) {
  const std::scoped_lock lock(mutex_);
  table_.set(std::move(oid), value);
}

void SimulatorAgent::remove(const OID& oid) {
  const std::scoped_lock lock(mutex_);
  table_.remove(oid);
}

void SimulatorAgent::setInterface(const SimulatedInterface& row) {
  const std::scoped_lock lock(mutex_);
  table_.setInterface(row);
}

void SimulatorAgent::update(const std::function<void(AgentTable&)>& change) {
  const std::scoped_lock lock(mutex_);
  change(table_);
}

void SimulatorAgent::setSource(std::function<AgentTable()> source) {
  const std::scoped_lock lock(mutex_);
  source_ = std::move(source);
}

void SimulatorAgent::queueFault(AgentFault fault) {
  const std::scoped_lock lock(mutex_);
  faults_.push_back(std::move(fault));
}

void SimulatorAgent::queueFaults(const std::vector<AgentFault>& faults) {
  const std::scoped_lock lock(mutex_);
  faults_.insert(faults_.end(), faults.begin(), faults.end());
}

void SimulatorAgent::clearFaults() {
  const std::scoped_lock lock(mutex_);
  faults_.clear();
}

std::size_t SimulatorAgent::pendingFaults() const {
  const std::scoped_lock lock(mutex_);
  return faults_.size();
}

std::size_t SimulatorAgent::requestCount() const {
  const std::scoped_lock lock(mutex_);
  return received_.size();
}

std::vector<Bytes> SimulatorAgent::receivedRequests() const {
  const std::scoped_lock lock(mutex_);
  return received_;
}

bool SimulatorAgent::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

void SimulatorAgent::run(const std::stop_token& stop) {
  std::vector<Outgoing> delayed;
  while (!stop.stop_requested()) {
    int wait = -1;
    if (!delayed.empty()) {
      const auto earliest =
          std::min_element(delayed.begin(), delayed.end(),
                           [](const Outgoing& a, const Outgoing& b) { return a.due < b.due; });
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(
          earliest->due - std::chrono::steady_clock::now());
      wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (poll(fds, 2, wait) < 0 && errno != EINTR) return;
    if ((fds[1].revents & POLLIN) != 0) {
      char drain[16];
      while (read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }
    if ((fds[0].revents & POLLIN) != 0) receive(delayed);

    const auto now = std::chrono::steady_clock::now();
    for (auto it = delayed.begin(); it != delayed.end();) {
      if (it->due > now) {
        ++it;
        continue;
      }
      sendto(socket_, it->datagram.data(), it->datagram.size(), 0,
             reinterpret_cast<const sockaddr*>(&it->to.address), it->to.length);
      it = delayed.erase(it);
    }
  }
}

void SimulatorAgent::receive(std::vector<Outgoing>& delayed) {
  Bytes buffer(receiveBufferSize);
  Destination from;
  from.length = sizeof from.address;
  const ssize_t n = recvfrom(socket_, buffer.data(), buffer.size(), MSG_TRUNC,
                             reinterpret_cast<sockaddr*>(&from.address), &from.length);
  if (n < 0) return;
  const bool truncated = static_cast<std::size_t>(n) > buffer.size();
  buffer.resize(std::min(static_cast<std::size_t>(n), buffer.size()));
  {
    const std::scoped_lock lock(mutex_);
    received_.push_back(buffer);
  }
  arrived_.notify_all();
  if (truncated) return;
  try {
    handle(buffer, from, delayed);
  } catch (const std::exception&) {
    // Whatever goes wrong with one datagram, the agent keeps answering the next.
  }
}

void SimulatorAgent::refreshFromSource() {
  std::function<AgentTable()> source;
  {
    const std::scoped_lock lock(mutex_);
    source = source_;
  }
  if (!source) return;
  AgentTable fresh = source();
  const std::scoped_lock lock(mutex_);
  table_ = std::move(fresh);
}

void SimulatorAgent::handle(const Bytes& datagram, const Destination& from,
                            std::vector<Outgoing>& delayed) {
  const auto request = AgentProtocol::decodeRequest(datagram);
  if (!request || request->community != options_.community || !isAnswered(request->pdu)) {
    return;
  }
  try {
    refreshFromSource();
  } catch (const std::exception&) {
    // A source that cannot be read this time leaves the last table in place.
  }

  AgentFault fault;
  std::optional<AgentProtocol::Reply> reply;
  {
    const std::scoped_lock lock(mutex_);
    if (!faults_.empty()) {
      fault = std::move(faults_.front());
      faults_.pop_front();
    }
    if (fault.kind == AgentFault::Kind::errorStatus) {
      reply = AgentProtocol::Reply{.id = request->id,
                                   .errorStatus = fault.errorStatus,
                                   .errorIndex = request->bindings.empty() ? 0 : 1,
                                   .bindings = request->bindings};
    } else {
      const bool forced = fault.kind == AgentFault::Kind::ignoreMaxRepetitions;
      reply = AgentProtocol::answer(*request, table_,
                                    forced ? std::optional(fault.bindings) : std::nullopt);
    }
  }
  if (!reply) return;

  switch (fault.kind) {
    case AgentFault::Kind::wrongRequestId:
      reply->id = otherId(reply->id);
      break;
    case AgentFault::Kind::outOfOrder:
      if (reply->bindings.size() == 1) {
        reply->bindings.push_back(reply->bindings.front());
      } else {
        std::reverse(reply->bindings.begin(), reply->bindings.end());
      }
      break;
    default:
      break;
  }

  Bytes answer = AgentProtocol::encodeResponse(options_.community, *reply);
  const auto send = [&from](int fd, const Bytes& bytes) {
    sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&from.address),
           from.length);
  };
  switch (fault.kind) {
    case AgentFault::Kind::drop:
      return;
    case AgentFault::Kind::garbage:
      send(socket_, fault.bytes);
      return;
    case AgentFault::Kind::emptyDatagram:
      send(socket_, {});
      return;
    case AgentFault::Kind::duplicate:
      send(socket_, answer);
      send(socket_, answer);
      return;
    case AgentFault::Kind::otherPort:
      send(otherSocket_, answer);
      return;
    case AgentFault::Kind::delay:
      delayed.push_back({std::chrono::steady_clock::now() + fault.delay, std::move(answer), from});
      return;
    default:
      send(socket_, answer);
      return;
  }
}

}  // namespace pulsewell
