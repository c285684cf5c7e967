#pragma once

#include "traffic/router_traffic_status.h"

namespace pulsewell {

// The exit statuses of the pulsewell command, documented in pulsewell(1) for scripts.
inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;        // no desktop to start on; --status: not running
inline constexpr int exitUsage = 2;          // unknown command or option, a bad option value
inline constexpr int exitNotConfigured = 3;  // no usable device address, community or interface
inline constexpr int exitNoAnswer = 4;       // the device did not answer
inline constexpr int exitBadAnswer = 5;      // it answered, but not with the interface's counters

// What a reading with `status` ends the program with: success whenever the device gave the
// interface's state, whether the interface is up or down.
int exitStatusFor(RouterTrafficStatus status);

}  // namespace pulsewell
