#pragma once

#include <cstdint>
#include <optional>

#include "traffic/snmp_traffic_reading.h"

namespace pulsewell {

// One octet counter as read, at the width of the type it came with.
struct CounterValue {
  std::uint64_t value = 0;
  unsigned bits = 64;

  bool operator==(const CounterValue&) const = default;
};

// The counter in `value`, or none when it holds no unsigned number.
template <typename Value>
std::optional<CounterValue> counterValue(const Value& value) {
  const auto* number = value.asUnsigned();
  if (number == nullptr) return std::nullopt;
  return CounterValue{*number, value.unsignedBits()};
}

// The received and sent octets of one interface, from the pair of columns it is measured by.
struct OctetCounters {
  enum class Source { highCapacity, ifTable };

  Source source = Source::highCapacity;
  CounterValue received;
  CounterValue sent;

  // 64-bit only when both are.
  CounterWidth width() const;
  bool operator==(const OctetCounters&) const = default;
};

// The pair an interface is measured by: ifHCInOctets and ifHCOutOctets where the agent gives
// both, unless one of them stands at 0 while its ifTable twin has counted (an agent that
// has the columns but never fills them); else ifInOctets and ifOutOctets; else none.
std::optional<OctetCounters> chooseCounters(std::optional<CounterValue> hcIn,
                                            std::optional<CounterValue> hcOut,
                                            std::optional<CounterValue> in,
                                            std::optional<CounterValue> out);

// How far a counter moved from `before` to `after`. A 32-bit counter that is lower has
// wrapped once; a 64-bit one that is lower was reset, and gives none.
struct CounterStep {
  std::uint64_t octets = 0;
  bool wrapped = false;

  bool operator==(const CounterStep&) const = default;
};
std::optional<CounterStep> counterStep(const CounterValue& before, const CounterValue& after);

// The interface's nominal speed in bytes per second: ifHighSpeed (Mbit/s) where it is set,
// else ifSpeed (bit/s) below its ceiling of 2^32 - 1, which only says "at least that".
// None when the agent gives neither.
std::optional<double> lineBytesPerSecond(std::optional<CounterValue> ifHighSpeed,
                                         std::optional<CounterValue> ifSpeed);

}  // namespace pulsewell
