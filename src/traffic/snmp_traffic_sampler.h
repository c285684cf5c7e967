#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "snmp/snmp_client.h"
#include "traffic/snmp_traffic_reading.h"

namespace pulsewell {

class SNMPTrafficError : public std::exception {
 public:
  enum class Kind { interfaceNotFound, noCounters };

  static SNMPTrafficError interfaceNotFound() { return SNMPTrafficError{Kind::interfaceNotFound}; }
  static SNMPTrafficError noCounters() { return SNMPTrafficError{Kind::noCounters}; }

  Kind kind() const { return kind_; }
  const char* what() const noexcept override;
  bool operator==(const SNMPTrafficError& other) const { return kind_ == other.kind_; }

 private:
  explicit SNMPTrafficError(Kind kind) : kind_(kind) {}
  Kind kind_;
};

// Seconds on a monotonic clock.
using SecondsClock = std::function<double()>;

// The system's boot-time clock: monotonic, and it keeps counting through a suspend.
double bootTimeSeconds();

// Turns one interface's counters into rates and totals. Used by one thread at a time.
class SNMPTrafficSampler {
 public:
  SNMPTrafficSampler(SNMPClient client, std::string interface, bool swapDirections,
                     SecondsClock clock = bootTimeSeconds);

  // Throws SNMPTrafficError or SNMPError.
  SNMPTrafficReading sample();

  // The device's interfaces in table order. Throws SNMPError.
  static std::vector<SNMPInterface> interfaces(const SNMPClient& client);

 private:
  struct Counters {
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    double time = 0;
  };

  std::uint32_t resolve();
  std::optional<std::vector<SNMPValue>> read(std::uint32_t index);
  bool isOurs(const SNMPValue& value) const;

  SNMPClient client_;
  std::string interface_;
  bool swapDirections_;
  SecondsClock clock_;
  std::optional<std::uint32_t> index_;
  std::optional<Counters> previous_;
  std::uint64_t totalDown_ = 0;
  std::uint64_t totalUp_ = 0;
};

}  // namespace pulsewell
