#include "platform/local_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <thread>
#include <utility>

namespace pulsewell {

namespace {

using namespace std::chrono_literals;

// sockaddr_un with the length to hand to bind() and connect(); none when the name does not
// fit (sun_path holds 108 bytes, with the terminating NUL of a path or the leading NUL of
// an abstract name).
std::optional<std::pair<sockaddr_un, socklen_t>> socketAddress(const LocalSocketAddress& address) {
  sockaddr_un raw{};
  raw.sun_family = AF_UNIX;
  const std::size_t offset = address.abstract ? 1 : 0;
  if (address.name.empty() || address.name.size() + 1 > sizeof raw.sun_path) return std::nullopt;
  std::memcpy(raw.sun_path + offset, address.name.data(), address.name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                             address.name.size() + (address.abstract ? 0 : 1));
  return std::pair{raw, length};
}

int newSocket() {
  return ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

}  // namespace

LocalSocket::~LocalSocket() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

LocalSocket::LocalSocket(LocalSocket&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

LocalSocket& LocalSocket::operator=(LocalSocket&& other) noexcept {
  if (this != &other) {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

LocalSocket LocalSocket::listen(const LocalSocketAddress& address) {
  const auto raw = socketAddress(address);
  if (!raw) return {};
  LocalSocket socket(newSocket());
  if (!socket.isOpen()) return {};
  if (::bind(socket.descriptor_, reinterpret_cast<const sockaddr*>(&raw->first), raw->second) !=
      0) {
    return {};
  }
  if (!address.abstract && ::chmod(address.name.c_str(), S_IRUSR | S_IWUSR) != 0) return {};
  if (::listen(socket.descriptor_, SOMAXCONN) != 0) return {};
  return socket;
}

LocalSocket LocalSocket::connect(const LocalSocketAddress& address, Deadline deadline) {
  const auto raw = socketAddress(address);
  if (!raw) return {};
  LocalSocket socket(newSocket());
  if (!socket.isOpen()) return {};
  // A listener whose backlog is full refuses with EAGAIN instead of letting the connection
  // wait; it may take one again soon, so asking again until the deadline is worth it.
  for (;;) {
    if (::connect(socket.descriptor_, reinterpret_cast<const sockaddr*>(&raw->first),
                  raw->second) == 0) {
      return socket;
    }
    if (errno != EAGAIN || std::chrono::steady_clock::now() >= deadline) return {};
    std::this_thread::sleep_for(10ms);
  }
}

LocalSocket LocalSocket::accept() const {
  return LocalSocket(::accept4(descriptor_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

bool LocalSocket::waitFor(short events, Deadline deadline) const {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd watched{.fd = descriptor_, .events = events, .revents = 0};
    const int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

bool LocalSocket::sendAll(std::string_view bytes, Deadline deadline) const {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(descriptor_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && errno == EAGAIN) {
      if (!waitFor(POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

LocalSocket::Read LocalSocket::receiveAvailable(std::string& into, std::size_t limit) const {
  char chunk[512];
  bool any = false;
  while (into.size() < limit) {
    const std::size_t room = std::min(sizeof chunk, limit - into.size());
    const ssize_t got = ::recv(descriptor_, chunk, room, 0);
    if (got > 0) {
      into.append(chunk, static_cast<std::size_t>(got));
      any = true;
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && errno == EAGAIN) {
      return any ? Read::some : Read::wouldBlock;
    } else {
      return Read::ended;
    }
  }
  return Read::some;
}

std::optional<std::string> LocalSocket::receiveLine(std::size_t limit, Deadline deadline) const {
  std::string received;
  for (;;) {
    const Read read = receiveAvailable(received, limit + 1);
    if (const auto end = received.find('\n'); end != std::string::npos) {
      received.resize(end);
      return received;
    }
    if (read == Read::ended || received.size() > limit || !waitFor(POLLIN, deadline)) {
      return std::nullopt;
    }
  }
}

}  // namespace pulsewell
