#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "snmp/snmp_client.h"
#include "traffic/interface_counters.h"
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

  // The device's named interfaces in table order, with the counters each can be measured
  // by. Throws SNMPError.
  static std::vector<SNMPInterface> interfaces(const SNMPClient& client);

 private:
  struct Previous {
    OctetCounters counters;
    std::optional<std::uint64_t> uptime;
    double time = 0;
  };
  struct Found {
    std::uint32_t index = 0;
    bool isUp = false;
  };

  Found resolve();
  // The bindings of row `index` (see the read's slots), decoded into buffers_ and valid
  // until their next use; none when the row no longer belongs to the interface.
  std::optional<std::span<const SNMPVarBindView>> read(std::uint32_t index);
  // Whether another row of the name is up while ours is down: then it becomes ours, and
  // `values` its reading. Looked at on going down, then every so often while down.
  void moveToAnUpNamesake(std::optional<std::span<const SNMPVarBindView>>& values);
  bool isOurs(std::optional<ByteView> name) const;
  // The received and sent octets from `before` to `now`, or none where they give no rate.
  static std::optional<std::pair<std::uint64_t, std::uint64_t>> octetsSince(
      const Previous& before, const Previous& now, std::optional<double> lineSpeed);

  SNMPClient client_;
  std::string interface_;
  // The name as code points, decoded once for the comparison on every read.
  std::u32string interfaceCodePoints_;
  bool swapDirections_;
  SecondsClock clock_;
  std::optional<std::uint32_t> index_;
  // Other rows carry the same name (stale PPP and bridge rows are common).
  bool namesakes_ = false;
  // While the row is down, when to look for an up namesake again.
  std::optional<double> nextNamesakeCheck_;
  std::optional<Previous> previous_;
  std::uint64_t totalDown_ = 0;
  std::uint64_t totalUp_ = 0;
  // The read of the current index, built when the index changes, and the buffers every
  // read reuses: a steady sample allocates nothing.
  std::vector<OID> counterRead_;
  SNMPRequestBuffers buffers_;
};

}  // namespace pulsewell
