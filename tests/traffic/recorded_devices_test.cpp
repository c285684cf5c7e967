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

using test::RecordedDevice;

class RecordedDeviceTest : public testing::TestWithParam<RecordedDevice> {
 protected:
  void SetUp() override {
    if (const auto missing = test::SnmpsimPeer::missing()) {
      if (test::runningInCI()) FAIL() << *missing;
      GTEST_SKIP() << *missing;
    }
    const auto& device = GetParam();
    served = test::withTraffic(test::recording(device.recording), device.index, device.change);
    agent = std::make_unique<test::SnmpsimPeer>(
        std::map<std::string, std::string>{{device.recording, served}},
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

std::vector<RecordedDevice> devicesAndChanges() {
  auto devices = test::recordedDevices();
  // What other agents do, played on these recordings.
  devices.push_back({"VyattaHighCapacityStandingAtZero", "vyatta", 5, "eth2", CounterWidth::bits32,
                     RecordingChange::highCapacityStandingAtZero});
  devices.push_back({"LinuxNetSnmpStaleNamesakeFirst", "linux-netsnmp", 2, "eth0",
                     CounterWidth::bits64, RecordingChange::staleNamesakeFirst});
  devices.push_back({"UbiquitiStaleNamesakeFirst", "ubnt-airos-m5", 6, "eth0.40",
                     CounterWidth::bits32, RecordingChange::staleNamesakeFirst});
  return devices;
}

INSTANTIATE_TEST_SUITE_P(Recordings, RecordedDeviceTest, testing::ValuesIn(devicesAndChanges()),
                         [](const testing::TestParamInfo<RecordedDevice>& p) {
                           return p.param.label;
                         });

}  // namespace
}  // namespace pulsewell
