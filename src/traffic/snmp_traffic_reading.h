#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pulsewell {

struct SNMPTrafficReading {
  // Both present or both absent.
  std::optional<double> downBytesPerSec;
  std::optional<double> upBytesPerSec;
  std::uint64_t totalDown = 0;
  std::uint64_t totalUp = 0;
  bool isUp = false;

  bool operator==(const SNMPTrafficReading&) const = default;
};

struct SNMPInterface {
  std::string name;
  bool isUp = false;

  bool operator==(const SNMPInterface&) const = default;
};

}  // namespace pulsewell
