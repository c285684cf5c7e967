#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pulsewell {

// Where a unix-domain stream socket lives: a path, or a name in the abstract namespace.
struct LocalSocketAddress {
  std::string name;
  bool abstract = false;
};

// A non-blocking unix-domain stream socket, closed with its owner.
class LocalSocket {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  LocalSocket() = default;
  ~LocalSocket();
  LocalSocket(LocalSocket&& other) noexcept;
  LocalSocket& operator=(LocalSocket&& other) noexcept;
  LocalSocket(const LocalSocket&) = delete;
  LocalSocket& operator=(const LocalSocket&) = delete;

  // Listening at `address`, or closed when that fails. A path is left to this user alone.
  static LocalSocket listen(const LocalSocketAddress& address);
  // Connected to `address`, or closed when nobody listens there or takes the connection
  // before `deadline`.
  static LocalSocket connect(const LocalSocketAddress& address, Deadline deadline);

  bool isOpen() const { return descriptor_ >= 0; }
  int descriptor() const { return descriptor_; }

  // The next pending connection of a listening socket, or a closed one when none waits.
  LocalSocket accept() const;

  // Sends all of `bytes`, waiting until `deadline` for room.
  bool sendAll(std::string_view bytes, Deadline deadline) const;

  enum class Read { some, wouldBlock, ended };
  // Appends what has arrived to `into`, at most `limit` bytes in all.
  Read receiveAvailable(std::string& into, std::size_t limit) const;

  // The first line the peer sends (without its newline), or none when the peer ends,
  // sends more than `limit` bytes without one, or `deadline` passes first.
  std::optional<std::string> receiveLine(std::size_t limit, Deadline deadline) const;

 private:
  explicit LocalSocket(int descriptor) : descriptor_(descriptor) {}
  bool waitFor(short events, Deadline deadline) const;

  int descriptor_ = -1;
};

}  // namespace pulsewell
