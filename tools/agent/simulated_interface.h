#pragma once

#include <cstdint>
#include <string>

#include "snmp/if_mib.h"

namespace pulsewell {

// One row of the interface table as the simulator agent serves it.
struct SimulatedInterface {
  std::uint32_t index = 0;
  std::string name{};
  std::uint64_t inOctets = 0;
  std::uint64_t outOctets = 0;
  std::int64_t operStatus = IfMib::operStatusUp;
  // Without them ifHCInOctets and ifHCOutOctets are absent, as on old 32-bit agents.
  bool hasHighCapacityCounters = true;

  bool operator==(const SimulatedInterface&) const = default;
};

}  // namespace pulsewell
