#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_table.h"
#include "agent/simulated_interface.h"

namespace pulsewell {

// This machine's own interfaces as an interface table: byte counters from /proc/net/dev,
// index and state from /sys/class/net/<name>/. Read afresh on every call.
class LiveInterfaceSource {
 public:
  // One interface line of /proc/net/dev.
  struct Counters {
    std::string name;
    std::uint64_t receivedBytes = 0;
    std::uint64_t sentBytes = 0;

    bool operator==(const Counters&) const = default;
  };

  // `root` stands for "/", so tests can point the source at a fixture tree.
  explicit LiveInterfaceSource(std::filesystem::path root = "/");

  // The interface lines of /proc/net/dev text in order. A line that is not
  // "name: sixteen unsigned numbers", or whose name could not be a kernel interface name,
  // is skipped, as is a repeated name.
  static std::vector<Counters> parseNetDev(std::string_view text);
  // The ifOperStatus for an interface whose /sys operstate file says `operstate`.
  static std::int64_t operStatus(std::string_view name, std::string_view operstate);

  // The interfaces with an index, in /proc/net/dev order. Throws std::runtime_error when
  // /proc/net/dev cannot be read; an interface without a readable ifindex is left out.
  std::vector<SimulatedInterface> interfaces() const;
  // interfaces() as table rows.
  AgentTable table() const;

 private:
  std::filesystem::path root_;
};

}  // namespace pulsewell
