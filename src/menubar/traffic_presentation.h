#pragma once

#include <optional>
#include <string>
#include <vector>

#include "menubar/display_settings.h"
#include "menubar/format.h"
#include "menubar/router_graph_data.h"
#include "traffic/router_traffic_status.h"
#include "traffic/snmp_traffic_reading.h"
#include "traffic/snmp_traffic_service.h"

namespace pulsewell {

// The service's state at one moment, copied so a view can be built from it anywhere.
struct TrafficSnapshot {
  RouterTrafficStatus status = RouterTrafficStatus::notConfigured;
  std::optional<SNMPTrafficReading> reading;
  std::vector<double> downHistory;
  std::vector<double> upHistory;
  TrafficTotals totals;

  static TrafficSnapshot of(const SNMPTrafficService& service);
};

// What every view of the traffic shows — the panel entry, the popover and `pulsewell
// watch` — decided once, so the three only draw it. Rates and histories count only while
// the interface is up; in every other state the rates read "—" and the graphs are empty.
struct TrafficPresentation {
  RouterTrafficStatus status = RouterTrafficStatus::notConfigured;
  // Something is configured: rates, graph and totals have a place at all.
  bool configured = false;
  // Connected and the interface up; every other state is shown muted.
  bool live = false;
  std::string statusText;
  // The interface watched (display-safe), or "Pulsewell" while none is set.
  std::string title;

  // The counters the current reading comes from, while the interface is up or down.
  std::optional<CounterWidth> counters;
  std::optional<double> downRate;  // bytes per second, none when not shown
  std::optional<double> upRate;
  std::string downText;  // "1.2 MB/s", or "—"
  std::string upText;
  // The same rates for a square, "1.2M" and "80K", or "—".
  std::string downCompact;
  std::string upCompact;

  std::vector<double> downHistory;  // empty unless live
  std::vector<double> upHistory;
  Format::Peaks peaks;
  std::string upMaxText;  // "↑ max 5.0 KB/s": the rate that fills the upper half
  std::string downMaxText;
  // The panel's graph input, none when the graph style is off.
  std::optional<RouterGraphData> panelGraph;

  TrafficTotals totals;
  std::string totalsText;  // "Total: ↓ 1.2 GB  ↑ 345 MB"

  // "Pulsewell: Download 1.2 MB/s, Upload 80 KB/s" or "Pulsewell: <status>"; as a tooltip
  // its title is "Pulsewell" and its body the rest.
  std::string accessibilityLabel;
  std::string tooltipTitle;
  std::string tooltipBody;
  // The entry's text on hosts that show one, "↑ 80 KB/s ↓ 1.2 MB/s", and the widest such
  // text, which keeps its width steady.
  std::string panelLabel;
  std::string panelLabelGuide;

  static TrafficPresentation make(const TrafficSnapshot& snapshot, const DisplaySettings& settings);
  bool operator==(const TrafficPresentation&) const = default;
};

}  // namespace pulsewell
