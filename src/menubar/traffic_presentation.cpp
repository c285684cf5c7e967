#include "menubar/traffic_presentation.h"

#include <utility>

#include "menubar/panel_label.h"
#include "menubar/strings.h"
#include "traffic/display_safe_text.h"

namespace pulsewell {

TrafficSnapshot TrafficSnapshot::of(const SNMPTrafficService& service) {
  return {service.status(), service.reading(), service.downHistory(), service.upHistory(),
          service.totals()};
}

TrafficPresentation TrafficPresentation::make(const TrafficSnapshot& snapshot,
                                              const DisplaySettings& settings) {
  TrafficPresentation shown;
  shown.status = snapshot.status;
  shown.configured = snapshot.status != RouterTrafficStatus::notConfigured;
  shown.live = snapshot.status == RouterTrafficStatus::up;
  shown.statusText = Strings::status(snapshot.status, settings.german);
  shown.title = settings.interface.empty() ? "Pulsewell" : displaySafe(settings.interface);

  // An old reading may still be held while connecting or failing; it is not shown.
  const bool current =
      snapshot.status == RouterTrafficStatus::up || snapshot.status == RouterTrafficStatus::down;
  if (current && snapshot.reading) shown.counters = snapshot.reading->counters;
  if (shown.live && snapshot.reading) {
    shown.downRate = snapshot.reading->downBytesPerSec;
    shown.upRate = snapshot.reading->upBytesPerSec;
  }
  shown.downText = Format::rate(shown.downRate, settings.inBits, settings.locale);
  shown.upText = Format::rate(shown.upRate, settings.inBits, settings.locale);
  shown.downCompact = Format::compactRate(shown.downRate, settings.inBits, settings.locale);
  shown.upCompact = Format::compactRate(shown.upRate, settings.inBits, settings.locale);

  if (shown.live) {
    shown.downHistory = snapshot.downHistory;
    shown.upHistory = snapshot.upHistory;
  }
  shown.peaks = Format::peaks(shown.downHistory, shown.upHistory, settings.downLineSpeed,
                              settings.upLineSpeed, settings.inBits);
  shown.upMaxText = "↑ max " + Format::rate(shown.peaks.upPeak, settings.inBits, settings.locale);
  shown.downMaxText =
      "↓ max " + Format::rate(shown.peaks.downPeak, settings.inBits, settings.locale);
  if (settings.graphStyle != GraphStyle::none) {
    shown.panelGraph = RouterGraphData{
        .down = shown.downHistory,
        .up = shown.upHistory,
        .downPeak = shown.peaks.downPeak,
        .upPeak = shown.peaks.upPeak,
        .behind = settings.graphStyle == GraphStyle::behind,
    };
  }

  shown.totals = snapshot.totals;
  shown.totalsText = std::string(settings.german ? "Summe" : "Total") + ": ↓ " +
                     Format::amount(snapshot.totals.down, settings.locale) + "  ↑ " +
                     Format::amount(snapshot.totals.up, settings.locale);

  // The same words in both languages.
  shown.tooltipTitle = "Pulsewell";
  shown.tooltipBody =
      shown.live ? "Download " + shown.downText + ", Upload " + shown.upText : shown.statusText;
  shown.accessibilityLabel = shown.tooltipTitle + ": " + shown.tooltipBody;

  shown.panelLabel = pulsewell::panelLabel(shown.upText, shown.downText);
  shown.panelLabelGuide = pulsewell::panelLabelGuide(settings.inBits);
  return shown;
}

}  // namespace pulsewell
