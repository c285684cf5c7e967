#pragma once

// Recordings of real devices' agents (tests/traffic/devices), made ready for snmpsim: the
// watched row's octet counters and the uptime grow at known rates through snmpsim's
// `numeric` variation module, and what a listing of the device must show is read from
// the recording itself.

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "traffic/snmp_traffic_reading.h"

namespace pulsewell::test {

// The rates the watched row's counters grow at, in bytes per second.
inline constexpr double recordedDownRate = 1'250'000;
inline constexpr double recordedUpRate = 312'500;

// Changes to a recording that stand for what other agents do.
enum class RecordingChange {
  none,
  // The row's 64-bit counters stand at 0 while its 32-bit ones count.
  highCapacityStandingAtZero,
  // Another row, earlier in the table, carries the same name, down and idle.
  staleNamesakeFirst,
};

// One recording, the row a user would watch on it, and what Pulsewell must make of it.
struct RecordedDevice {
  std::string label;  // the test's name for it
  std::string recording;
  std::uint32_t index = 0;
  std::string name;
  CounterWidth counters = CounterWidth::none;
  RecordingChange change = RecordingChange::none;
};

inline void PrintTo(const RecordedDevice& device, std::ostream* out) {
  *out << device.label;
}

// Every recording, as recorded.
const std::vector<RecordedDevice>& recordedDevices();

// The text of tests/traffic/devices/`name`.snmprec.
std::string recording(const std::string& name);

// `text` with row `index` counting received octets at recordedDownRate and sent ones at
// recordedUpRate, in every octet column it has, and sysUpTime running; a 32-bit received
// counter starts just below 2^32, so that it wraps in the first two seconds.
std::string withTraffic(const std::string& text, std::uint32_t index,
                        RecordingChange change = RecordingChange::none);

// The (index, name) of every row of `text` that has a name: its ifName, else its ifDescr,
// trailing NULs dropped; in table order. Decoded from the recording by its own rules.
std::vector<std::pair<std::uint32_t, std::string>> namedRows(const std::string& text);

}  // namespace pulsewell::test
