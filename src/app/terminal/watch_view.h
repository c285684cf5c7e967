#pragma once

#include <optional>
#include <string>
#include <vector>

#include "menubar/traffic_presentation.h"

namespace pulsewell {

// `pulsewell interfaces`: a line per interface, its up (●) or down (○) mark, its name, the
// counters it has in a column of their own, and ✓ after the chosen one.
std::vector<std::string> interfaceLines(const std::vector<SNMPInterface>& interfaces,
                                        const std::string& chosen, bool german);

// "Connected  ↑ 80 KB/s  ↓ 1.2 MB/s  Total: ↓ 1.2 GB  ↑ 345 MB".
std::string watchLine(const TrafficPresentation& shown);

// The line above with a sparkline of each direction's recent history, for a terminal.
std::string watchLineWithHistory(const TrafficPresentation& shown, std::size_t historyWidth);

// The newest `width` values as block characters, scaled like the panel's graph.
std::string sparkline(const std::vector<double>& values, double peak, std::size_t width);

// One JSON object: status, its text, rates in bytes per second (null without a rate), the
// totals and the width of the counters read (null without a reading).
std::string watchJson(const TrafficPresentation& shown);

}  // namespace pulsewell
