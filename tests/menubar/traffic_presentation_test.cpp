#include "menubar/traffic_presentation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "menubar/panel_host.h"

namespace pulsewell {
namespace {

TrafficSnapshot snapshotIn(RouterTrafficStatus status) {
  TrafficSnapshot snapshot;
  snapshot.status = status;
  // Every state may still hold the last reading and histories; only `up` shows them.
  snapshot.reading = SNMPTrafficReading{1'234'567.0, 80'000.0, 1'200'000'000, 345'000'000, true};
  snapshot.downHistory = {1'000, 1'234'567};
  snapshot.upHistory = {500, 80'000};
  snapshot.totals = {1'200'000'000, 345'000'000};
  return snapshot;
}

DisplaySettings english() {
  DisplaySettings settings;
  settings.german = false;
  settings.graphStyle = GraphStyle::beside;
  return settings;
}

TEST(TrafficPresentation, UpShowsRatesGraphAndLabels) {
  const auto shown = TrafficPresentation::make(snapshotIn(RouterTrafficStatus::up), english());
  EXPECT_TRUE(shown.live);
  EXPECT_EQ(shown.upText, "80 KB/s");
  EXPECT_EQ(shown.downText, "1.2 MB/s");
  EXPECT_EQ(shown.panelLabel, "↑ 80 KB/s ↓ 1.2 MB/s");
  EXPECT_EQ(shown.upCompact, "80K");
  EXPECT_EQ(shown.downCompact, "1.2M");
  EXPECT_EQ(shown.panelLabelGuide, "↑ 888 MB/s ↓ 888 MB/s");
  EXPECT_EQ(shown.accessibilityLabel, "Pulsewell: Download 1.2 MB/s, Upload 80 KB/s");
  EXPECT_EQ(shown.tooltipTitle, "Pulsewell");
  EXPECT_EQ(shown.tooltipBody, "Download 1.2 MB/s, Upload 80 KB/s");
  EXPECT_EQ(shown.totalsText, "Total: ↓ 1.2 GB  ↑ 345 MB");
  // Without line speeds both halves share the scale of the larger direction.
  EXPECT_EQ(shown.peaks, (Format::Peaks{2'000'000, 2'000'000}));
  EXPECT_EQ(shown.upMaxText, "↑ max 2.0 MB/s");
  ASSERT_TRUE(shown.panelGraph);
  EXPECT_EQ(shown.panelGraph->down, (std::vector<double>{1'000, 1'234'567}));
  EXPECT_FALSE(shown.panelGraph->behind);
}

TEST(TrafficPresentation, EveryOtherStateIsMutedWithDashes) {
  for (const auto status :
       {RouterTrafficStatus::connecting, RouterTrafficStatus::down, RouterTrafficStatus::noReply,
        RouterTrafficStatus::unreachable, RouterTrafficStatus::denied,
        RouterTrafficStatus::invalidReply, RouterTrafficStatus::interfaceNotFound,
        RouterTrafficStatus::noCounters, RouterTrafficStatus::notConfigured}) {
    SCOPED_TRACE(Strings::status(status, false));
    const auto shown = TrafficPresentation::make(snapshotIn(status), english());
    EXPECT_FALSE(shown.live);
    EXPECT_EQ(shown.configured, status != RouterTrafficStatus::notConfigured);
    EXPECT_EQ(shown.upText, "—");
    EXPECT_EQ(shown.downText, "—");
    EXPECT_FALSE(shown.downRate);
    EXPECT_EQ(shown.panelLabel, "↑ — ↓ —");
    EXPECT_EQ(shown.upCompact, "—");
    EXPECT_EQ(shown.accessibilityLabel,
              "Pulsewell: " + std::string(Strings::status(status, false)));
    // The graph keeps its place but only its mid line: the histories are not shown.
    ASSERT_TRUE(shown.panelGraph);
    EXPECT_TRUE(shown.panelGraph->down.empty());
    EXPECT_TRUE(shown.upHistory.empty());
    EXPECT_EQ(shown.totalsText, "Total: ↓ 1.2 GB  ↑ 345 MB");
  }
}

TEST(TrafficPresentation, ConnectingKeepsItsEllipsis) {
  const auto shown =
      TrafficPresentation::make(snapshotIn(RouterTrafficStatus::connecting), english());
  EXPECT_EQ(shown.accessibilityLabel, "Pulsewell: Connecting …");
}

TEST(TrafficPresentation, GraphStyleDecidesThePanelGraph) {
  struct Case {
    std::optional<std::string> stored;
    bool drawn;
    bool behind;
  };
  for (const Case& c : std::vector<Case>{{"beside", true, false},
                                         {"behind", true, true},
                                         {"off", false, false},
                                         {"Beside", false, false},
                                         {std::nullopt, false, false}}) {
    SCOPED_TRACE(c.stored.value_or("(none)"));
    DisplaySettings settings = english();
    settings.graphStyle = graphStyleNamed(c.stored);
    const auto shown = TrafficPresentation::make(snapshotIn(RouterTrafficStatus::up), settings);
    ASSERT_EQ(shown.panelGraph.has_value(), c.drawn);
    if (c.drawn) {
      EXPECT_EQ(shown.panelGraph->behind, c.behind);
    }
  }
}

TEST(TrafficPresentation, UnitsLocaleLineSpeedsAndLanguage) {
  DisplaySettings settings = english();
  settings.inBits = true;
  settings.locale.decimalSeparator = ",";
  settings.downLineSpeed = 100;
  settings.german = true;
  settings.interface = "ppp0";
  const auto shown = TrafficPresentation::make(snapshotIn(RouterTrafficStatus::up), settings);
  EXPECT_EQ(shown.panelLabel, "↑ 640 Kbps ↓ 9,9 Mbps");
  EXPECT_EQ(shown.downCompact, "9,9M");
  EXPECT_EQ(shown.panelLabelGuide, "↑ 888 Mbps ↓ 888 Mbps");
  EXPECT_EQ(shown.statusText, "Verbunden");
  EXPECT_EQ(shown.title, "ppp0");
  // The totals stay in bytes.
  EXPECT_EQ(shown.totalsText, "Summe: ↓ 1,2 GB  ↑ 345 MB");
  // A download line of 100 Mbit/s fixes the download scale; upload keeps its own.
  EXPECT_EQ(shown.peaks.downPeak, 12'500'000);
  EXPECT_EQ(shown.downMaxText, "↓ max 100 Mbps");
  // The accessibility label's words are the same in both languages.
  EXPECT_EQ(shown.accessibilityLabel, "Pulsewell: Download 9,9 Mbps, Upload 640 Kbps");
}

TEST(TrafficPresentation, TitleFallsBackToTheProgramName) {
  EXPECT_EQ(TrafficPresentation::make(snapshotIn(RouterTrafficStatus::up), english()).title,
            "Pulsewell");
}

TEST(DisplaySettingsTest, PanelEntryFormsRoundTripAndUnknownIsAutomatic) {
  for (const auto form : {PanelEntryForm::label, PanelEntryForm::wide, PanelEntryForm::square,
                          PanelEntryForm::automatic}) {
    EXPECT_EQ(panelEntryFormNamed(std::string(panelEntryFormName(form))), form);
  }
  EXPECT_EQ(panelEntryFormNamed("Square"), PanelEntryForm::automatic);
  EXPECT_EQ(panelEntryFormNamed(std::nullopt), PanelEntryForm::automatic);
}

TEST(PanelHostTest, TheWatchersProcessTellsTheForm) {
  struct Case {
    std::string_view process;
    PanelEntryForm form;
    bool menuOnLeftClick;
    bool darkBar;
  };
  for (const Case& c : std::vector<Case>{
           {"gnome-shell", PanelEntryForm::label, true, true},
           {"ayatana-indica", PanelEntryForm::label, false, false},
           {"waybar", PanelEntryForm::wide, false, true},
           {"xfce4-panel", PanelEntryForm::square, false, false},
           {"kded5", PanelEntryForm::square, false, false},
           {"", PanelEntryForm::square, false, false},
       }) {
    SCOPED_TRACE(c.process);
    const PanelHost host = PanelHost::byWatcherProcess(c.process);
    EXPECT_EQ(host.form, c.form);
    EXPECT_EQ(host.menuOnLeftClick, c.menuOnLeftClick);
    EXPECT_EQ(host.darkBar, c.darkBar);
  }
  // The stored choice wins over the host's.
  const PanelHost gnome = PanelHost::byWatcherProcess("gnome-shell");
  EXPECT_EQ(resolvedForm(PanelEntryForm::automatic, gnome), PanelEntryForm::label);
  EXPECT_EQ(resolvedForm(PanelEntryForm::wide, gnome), PanelEntryForm::wide);
}

}  // namespace
}  // namespace pulsewell
