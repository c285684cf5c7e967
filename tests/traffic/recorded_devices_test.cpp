// Pulsewell against recordings of real devices' agents, served by Debian's snmpsim on a
// clock the test holds: every named row is listed, and the watched row's counters, grown
// at known rates, wrapped and reset, give those rates.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ci.h"
#include "tests/support/peer_client.h"
#include "tests/support/recorded_device.h"
#include "tests/support/snmpsim_peer.h"
#include "tests/support/traffic_printers.h"
#include "traffic/snmp_traffic_sampler.h"

namespace pulsewell {
namespace {

using test::RecordingChange;

struct RecordedDevice {
  std::string label;
  std::string recording;
  // The row a user would watch, and what Pulsewell must make of it.
  std::uint32_t index;
  std::string name;
  CounterWidth counters;
  RecordingChange change = RecordingChange::none;
};

void PrintTo(const RecordedDevice& device, std::ostream* out) {
  *out << device.label;
}

class RecordedDeviceTest : public testing::TestWithParam<RecordedDevice> {
 protected:
  void SetUp() override {
    if (const auto missing = test::SnmpsimPeer::missing()) {
      if (test::runningInCI()) FAIL() << *missing;
      GTEST_SKIP() << *missing;
    }
    const auto& device = GetParam();
    served = test::withTraffic(test::recording(device.recording), device.index, device.change);
    agent = std::make_unique<test::SnmpsimPeer>(std::map<std::string, std::string>{
                                                    {device.recording, served}},
                                                test::SnmpsimPeer::Clock::held);
  }

  SNMPClient client() const {
    return test::peerClient(std::string(test::SnmpsimPeer::host), agent->port(),
                            GetParam().recording);
  }

  // The agent's clock and the sampler's move on together.
  void advance(long seconds) {
    agent->advance(seconds);
    *now += static_cast<double>(seconds);
  }

  std::string served;
  std::unique_ptr<test::SnmpsimPeer> agent;
  std::shared_ptr<double> now = std::make_shared<double>(1000.0);
};

void expectRates(const SNMPTrafficReading& reading, CounterWidth counters) {
  ASSERT_TRUE(reading.downBytesPerSec && reading.upBytesPerSec) << testing::PrintToString(reading);
  EXPECT_NEAR(*reading.downBytesPerSec, test::recordedDownRate, test::recordedDownRate / 100);
  EXPECT_NEAR(*reading.upBytesPerSec, test::recordedUpRate, test::recordedUpRate / 100);
  EXPECT_TRUE(reading.isUp);
  EXPECT_EQ(reading.counters, counters);
}

TEST_P(RecordedDeviceTest, ListsEveryNamedRowAndMeasuresTheWatchedOne) {
  const auto& device = GetParam();
  const auto expected = test::namedRows(served);
  const auto listed = SNMPTrafficSampler::interfaces(client());
  ASSERT_EQ(listed.size(), expected.size());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].name, expected[i].second) << "row " << expected[i].first;
    if (expected[i].first == device.index) {
      EXPECT_EQ(listed[i].name, device.name);
      EXPECT_EQ(listed[i].counters, device.counters);
      EXPECT_TRUE(listed[i].isUp);
    }
  }

  SNMPTrafficSampler sampler(client(), device.name, false, [now = now] { return *now; });
  const auto first = sampler.sample();
  EXPECT_FALSE(first.downBytesPerSec);
  EXPECT_EQ(first.counters, device.counters);
  // The first two seconds wrap a 32-bit received counter; the next are plain growth.
  for (int i = 0; i < 2; ++i) {
    advance(2);
    expectRates(sampler.sample(), device.counters);
  }
  // The device restarts: its counters and uptime start lower.
  agent->advance(-62);
  *now += 2;
  const auto restarted = sampler.sample();
  EXPECT_FALSE(restarted.downBytesPerSec) << testing::PrintToString(restarted);
  advance(2);
  const auto after = sampler.sample();
  expectRates(after, device.counters);
  EXPECT_NEAR(static_cast<double>(after.totalDown), 6 * test::recordedDownRate,
              6 * test::recordedDownRate / 100);
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, RecordedDeviceTest,
    testing::Values(
        // No ifXTable: ifDescr names, 32-bit counters.
        RecordedDevice{"UbiquitiAirOS", "ubnt-airos-m5", 6, "eth0.40", CounterWidth::bits32},
        RecordedDevice{"WindowsXP", "windows-xp", 65539,
                       "Intel(R) PRO/Wireless 2200BG Network Connection", CounterWidth::bits32},
        // No ifXTable, the ifTable's counters typed Counter64.
        RecordedDevice{"Topsec", "topsec-ngfw", 33554442, "feth10", CounterWidth::bits64},
        RecordedDevice{"Clavister", "clavister", 6, "Cer", CounterWidth::bits32},
        RecordedDevice{"CiscoPartial", "cisco-cat-partial", 3, "Fa0/3", CounterWidth::bits32},
        RecordedDevice{"VenusHighCapacityTypedCounter32", "venus-vsos", 2, "eth0",
                       CounterWidth::bits32},
        RecordedDevice{"H3C1317Ports", "h3c-1317-ports", 3, "Ten-GigabitEthernet1/0/1",
                       CounterWidth::bits64},
        RecordedDevice{"JuniperMX960", "juniper-mx960", 857, "xe-3/0/0", CounterWidth::bits64},
        RecordedDevice{"Vyatta", "vyatta", 5, "eth2", CounterWidth::bits64},
        RecordedDevice{"LinuxAppliance", "linux-dcbc600", 6, "WAN2", CounterWidth::bits64},
        RecordedDevice{"LinuxNetSnmp", "linux-netsnmp", 2, "eth0", CounterWidth::bits64},
        // What other agents do, played on these recordings.
        RecordedDevice{"VyattaHighCapacityStandingAtZero", "vyatta", 5, "eth2",
                       CounterWidth::bits32, RecordingChange::highCapacityStandingAtZero},
        RecordedDevice{"LinuxNetSnmpStaleNamesakeFirst", "linux-netsnmp", 2, "eth0",
                       CounterWidth::bits64, RecordingChange::staleNamesakeFirst},
        RecordedDevice{"UbiquitiStaleNamesakeFirst", "ubnt-airos-m5", 6, "eth0.40",
                       CounterWidth::bits32, RecordingChange::staleNamesakeFirst}),
    [](const testing::TestParamInfo<RecordedDevice>& p) { return p.param.label; });

}  // namespace
}  // namespace pulsewell
