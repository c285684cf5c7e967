#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pulsewell {

// Which octet counters an interface is measured with: the 64-bit ones, the 32-bit ones
// (which wrap at 2^32), or none the agent gives for it.
enum class CounterWidth { none, bits32, bits64 };

struct SNMPTrafficReading {
  // Both present or both absent.
  std::optional<double> downBytesPerSec;
  std::optional<double> upBytesPerSec;
  std::uint64_t totalDown = 0;
  std::uint64_t totalUp = 0;
  bool isUp = false;
  // The counters this reading was taken from.
  CounterWidth counters = CounterWidth::bits64;

  bool operator==(const SNMPTrafficReading&) const = default;
};

struct SNMPInterface {
  std::string name;
  bool isUp = false;
  // What the interface can be measured with.
  CounterWidth counters = CounterWidth::none;

  bool operator==(const SNMPInterface&) const = default;
};

}  // namespace pulsewell
