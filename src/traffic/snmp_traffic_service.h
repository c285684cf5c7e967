#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "snmp/snmp_client.h"
#include "traffic/main_queue.h"
#include "traffic/router_traffic_config.h"
#include "traffic/router_traffic_status.h"
#include "traffic/signal.h"
#include "traffic/snmp_traffic_reading.h"
#include "traffic/snmp_traffic_sampler.h"

namespace pulsewell {

struct TrafficTotals {
  std::uint64_t down = 0;
  std::uint64_t up = 0;
  bool operator==(const TrafficTotals&) const = default;
};

// The program's main loop: polls the configured interface on a worker thread and
// publishes status, reading and histories on the main thread. Every member is used
// on the main thread only.
class SNMPTrafficService {
 public:
  static constexpr std::size_t historyLimit = 60;

  using ClientFactory = std::function<SNMPClient(const RouterTrafficConfig&)>;
  static SNMPClient defaultClient(const RouterTrafficConfig& config);

  // The clients `makeClient` builds and `samplerClock` are used on the polling worker,
  // which may outlive the service by one exchange: they must own what they capture.
  SNMPTrafficService(std::shared_ptr<MainQueue> mainQueue,
                     std::chrono::milliseconds interval = std::chrono::seconds(2),
                     ClientFactory makeClient = defaultClient,
                     SecondsClock samplerClock = bootTimeSeconds);
  ~SNMPTrafficService();
  SNMPTrafficService(const SNMPTrafficService&) = delete;
  SNMPTrafficService& operator=(const SNMPTrafficService&) = delete;

  void apply(const std::optional<RouterTrafficConfig>& config);
  void pause();
  void resume();

  RouterTrafficStatus status() const;
  const std::optional<SNMPTrafficReading>& reading() const;
  const std::vector<double>& downHistory() const;
  const std::vector<double>& upHistory() const;
  TrafficTotals totals() const;

  // Fires before every assignment of status, reading or a history, also when the value
  // does not change. Observers read the new values on a later turn of the main loop.
  [[nodiscard]] Subscription onWillChange(std::function<void()> observer);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace pulsewell
