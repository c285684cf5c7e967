#include "app/terminal/watch_view.h"

#include <gtest/gtest.h>

namespace pulsewell {
namespace {

TrafficSnapshot upSnapshot() {
  TrafficSnapshot snapshot;
  snapshot.status = RouterTrafficStatus::up;
  snapshot.reading = SNMPTrafficReading{1'234'567.0, 80'000.0, 1'200'000'000, 345'000'000, true};
  snapshot.totals = {1'200'000'000, 345'000'000};
  return snapshot;
}

TEST(WatchView, LineShowsUploadAboveDownloadThenTotals) {
  EXPECT_EQ(watchLine(TrafficPresentation::make(upSnapshot(), {})),
            "Connected  ↑ 80 KB/s  ↓ 1.2 MB/s  Total: ↓ 1.2 GB  ↑ 345 MB");
  DisplaySettings bits;
  bits.inBits = true;
  bits.locale.decimalSeparator = ",";
  EXPECT_EQ(watchLine(TrafficPresentation::make(upSnapshot(), bits)),
            "Connected  ↑ 640 Kbps  ↓ 9,9 Mbps  Total: ↓ 1,2 GB  ↑ 345 MB");
}

TEST(WatchView, RatesShowOnlyWhileTheInterfaceIsUp) {
  auto snapshot = upSnapshot();
  snapshot.status = RouterTrafficStatus::noReply;  // an old reading is still held
  const auto shown = TrafficPresentation::make(snapshot, {});
  EXPECT_EQ(watchLine(shown),
            "No reply (address, port, community?)  ↑ —  ↓ —  Total: ↓ 1.2 GB  ↑ 345 MB");
  EXPECT_EQ(watchJson(shown),
            R"j({"status":"noReply","statusText":"No reply (address, port, community?)",)j"
            R"j("downBytesPerSec":null,"upBytesPerSec":null,"totalDown":1200000000,)j"
            R"j("totalUp":345000000,"counterBits":null})j");
}

TEST(WatchView, JsonCarriesExactRates) {
  EXPECT_EQ(
      watchJson(TrafficPresentation::make(upSnapshot(), {})),
      R"({"status":"up","statusText":"Connected","downBytesPerSec":1234567,)"
      R"("upBytesPerSec":80000,"totalDown":1200000000,"totalUp":345000000,"counterBits":64})");
  auto first = upSnapshot();
  first.reading->downBytesPerSec.reset();
  first.reading->upBytesPerSec.reset();
  EXPECT_NE(watchJson(TrafficPresentation::make(first, {}))
                .find(R"("downBytesPerSec":null,"upBytesPerSec":null)"),
            std::string::npos);
  // Read from 32-bit counters, and down: the reading is still the current one.
  auto narrow = upSnapshot();
  narrow.status = RouterTrafficStatus::down;
  narrow.reading->counters = CounterWidth::bits32;
  EXPECT_NE(watchJson(TrafficPresentation::make(narrow, {})).find(R"("counterBits":32})"),
            std::string::npos);
}

TEST(WatchView, InterfaceLinesAlignTheCountersAfterTheWidestName) {
  const std::vector<SNMPInterface> interfaces = {
      {"lo", true, CounterWidth::bits64},
      {"Verbindung über WLAN", false, CounterWidth::bits32},
      {"gre0", false, CounterWidth::none},
  };
  EXPECT_EQ(interfaceLines(interfaces, "gre0", false),
            (std::vector<std::string>{"● lo                    64-bit counters",
                                      "○ Verbindung über WLAN  32-bit counters",
                                      "○ gre0                  no counters  ✓"}));
  EXPECT_EQ(interfaceLines(interfaces, "", true)[2], "○ gre0                  keine Zähler");
  EXPECT_TRUE(interfaceLines({}, "lo", false).empty());
}

TEST(WatchView, SparklineIsRightAlignedOnTheGraphsScale) {
  // At or over the peak fills the cell; nothing is a blank; a thousandth still shows.
  EXPECT_EQ(sparkline({0, 1, 1000, 2000}, 1000, 6), "   ▂██");
  EXPECT_EQ(sparkline({}, 1, 3), "   ");
  EXPECT_EQ(sparkline({1000, 1000, 1000, 1000}, 1000, 2), "██");
}

TEST(WatchView, HistoryLineUsesTheLineSpeedScale) {
  auto snapshot = upSnapshot();
  snapshot.downHistory = {125'000};
  snapshot.upHistory = {125'000};
  DisplaySettings settings;
  settings.downLineSpeed = 1;  // 1 Mbit/s = 125000 B/s: a full cell
  settings.upLineSpeed = 1000;
  const auto line = watchLineWithHistory(TrafficPresentation::make(snapshot, settings), 1);
  EXPECT_NE(line.find("↑▂ ↓█"), std::string::npos) << line;
}

}  // namespace
}  // namespace pulsewell
