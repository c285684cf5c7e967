#pragma once

#include <optional>
#include <string>
#include <vector>

#include "menubar/format.h"
#include "traffic/router_traffic_status.h"
#include "traffic/snmp_traffic_reading.h"
#include "traffic/snmp_traffic_service.h"

namespace pulsewell {

// What one sample of `pulsewell watch` shows, copied from the service.
struct WatchSnapshot {
  RouterTrafficStatus status = RouterTrafficStatus::notConfigured;
  std::optional<SNMPTrafficReading> reading;
  std::vector<double> downHistory;
  std::vector<double> upHistory;
  TrafficTotals totals;

  static WatchSnapshot of(const SNMPTrafficService& service);
};

struct WatchStyle {
  bool inBits = false;
  NumberLocale locale;
  std::int64_t downLineSpeed = 0;
  std::int64_t upLineSpeed = 0;
};

// "Connected  ↑ 80 KB/s  ↓ 1.2 MB/s  Total: ↓ 1.2 GB  ↑ 345 MB". Rates only while the
// interface is up, as in the panel.
std::string watchLine(const WatchSnapshot& snapshot, const WatchStyle& style);

// The line above with a sparkline of each direction's recent history, for a terminal.
std::string watchLineWithHistory(const WatchSnapshot& snapshot, const WatchStyle& style,
                                 std::size_t historyWidth);

// The newest `width` values as block characters, scaled like the panel's graph.
std::string sparkline(const std::vector<double>& values, double peak, std::size_t width);

// `text` with control characters (which a device could use to drive the terminal)
// replaced by U+FFFD.
std::string terminalSafe(std::string_view text);

// One JSON object: status, its text, rates in bytes per second (null without a rate) and
// the totals.
std::string watchJson(const WatchSnapshot& snapshot);

}  // namespace pulsewell
