#pragma once

#include <cstdint>
#include <vector>

#include "snmp/snmp_client.h"
#include "traffic/snmp_traffic_reading.h"

namespace pulsewell {

// One named row of a device's interface table.
struct InterfaceRow {
  std::uint32_t index = 0;
  // As the agent sent it, trailing NULs dropped; never empty.
  Bytes name;
  bool isUp = false;
  // Filled only when the octet columns were walked.
  CounterWidth counters = CounterWidth::none;

  bool operator==(const InterfaceRow&) const = default;
};

enum class RowDetail { names, namesAndCounters };

// The rows of the device's interface table that have a name, in table order. The columns
// are walked side by side, up to SNMPClient::walkLimit rows each; the octet columns only
// with RowDetail::namesAndCounters. Throws SNMPError.
std::vector<InterfaceRow> readInterfaceRows(const SNMPClient& client, RowDetail detail);

}  // namespace pulsewell
