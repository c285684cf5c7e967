#pragma once

// Readable failure messages for the traffic records in GoogleTest assertions.

#include <optional>
#include <ostream>

#include "traffic/router_traffic_config.h"
#include "traffic/router_traffic_status.h"
#include "traffic/snmp_traffic_reading.h"

namespace pulsewell {

inline void printRate(const std::optional<double>& rate, std::ostream* out) {
  if (rate) {
    *out << *rate;
  } else {
    *out << "none";
  }
}

inline const char* widthName(CounterWidth width) {
  switch (width) {
    case CounterWidth::none:
      return "no counters";
    case CounterWidth::bits32:
      return "32-bit";
    case CounterWidth::bits64:
      return "64-bit";
  }
  return "?";
}

inline void PrintTo(const SNMPTrafficReading& r, std::ostream* out) {
  *out << "{down ";
  printRate(r.downBytesPerSec, out);
  *out << " B/s, up ";
  printRate(r.upBytesPerSec, out);
  *out << " B/s, totals " << r.totalDown << "/" << r.totalUp << (r.isUp ? ", up, " : ", down, ")
       << widthName(r.counters) << "}";
}

inline void PrintTo(const SNMPInterface& i, std::ostream* out) {
  *out << "{\"" << i.name << "\", " << (i.isUp ? "up" : "down") << ", " << widthName(i.counters)
       << "}";
}

inline void PrintTo(const RouterTrafficConfig& c, std::ostream* out) {
  *out << "{host \"" << c.host << "\", port " << c.port << ", community \"" << c.community
       << "\", interface \"" << c.interface << "\", swap " << c.swapDirections << "}";
}

inline void PrintTo(RouterTrafficStatus status, std::ostream* out) {
  static constexpr const char* names[] = {
      "notConfigured", "connecting",        "up",        "down", "noReply", "unreachable", "denied",
      "invalidReply",  "interfaceNotFound", "noCounters"};
  *out << names[static_cast<int>(status)];
}

}  // namespace pulsewell
