#include "traffic/snmp_traffic_sampler.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/simulator_agent.h"
#include "snmp/if_mib.h"
#include "snmp/snmp_error.h"
#include "tests/support/ci.h"
#include "tests/support/peer_client.h"
#include "tests/support/thrown_by.h"
#include "tests/support/traffic_printers.h"

namespace pulsewell {
namespace {

constexpr std::uint64_t highest = std::numeric_limits<std::uint64_t>::max();

// A device on 127.0.0.1 and a clock the test sets by hand.
class SamplerTest : public testing::Test {
 protected:
  SNMPClient client(double timeout = 1.0) const {
    return test::peerClient(agent.address(), agent.port(), agent.community(), timeout);
  }

  SNMPTrafficSampler sampler(const std::string& name = "eth0", bool swap = false,
                             double timeout = 1.0) const {
    return SNMPTrafficSampler(client(timeout), name, swap, [now = now] { return now->load(); });
  }

  void row(std::uint64_t in, std::uint64_t out, std::int64_t status = IfMib::operStatusUp,
           std::uint32_t index = 3, const std::string& name = "eth0") {
    agent.setInterface({index, name, in, out, status, true});
  }

  // Row 3 as an agent without the ifXTable's counters serves it: eth0 counting only in
  // 32-bit ifInOctets and ifOutOctets, which wrap at 2^32.
  void row32(std::uint64_t in, std::uint64_t out, std::uint32_t ifSpeed = 0) {
    agent.setInterface({3, "eth0", in, out, IfMib::operStatusUp, false});
    if (ifSpeed != 0) agent.set(IfMib::instance(IfMib::ifSpeed(), 3), AgentValue::gauge32(ifSpeed));
  }

  void uptime(std::uint32_t ticks) { agent.set(IfMib::sysUpTime(), AgentValue::timeTicks(ticks)); }

  void at(double seconds) { *now = seconds; }

  // A sampler that has taken its first sample, of eth0 at index 3 counting `in` and `out`.
  SNMPTrafficSampler sampledOnce(std::uint64_t in, std::uint64_t out, bool swap = false) {
    row(in, out);
    auto s = sampler("eth0", swap);
    s.sample();
    return s;
  }

  // The next sample, taken at `seconds` with eth0 at index 3 counting `in` and `out`.
  SNMPTrafficReading sampleAt(SNMPTrafficSampler& s, double seconds, std::uint64_t in,
                              std::uint64_t out) {
    at(seconds);
    row(in, out);
    return s.sample();
  }

  SimulatorAgent agent;
  // Atomic: a test may move it on from the agent's thread, while the reply is on its way.
  std::shared_ptr<std::atomic<double>> now = std::make_shared<std::atomic<double>>(100.0);
};

SNMPTrafficReading noRates(std::uint64_t down, std::uint64_t up, bool isUp = true,
                           CounterWidth counters = CounterWidth::bits64) {
  return {std::nullopt, std::nullopt, down, up, isUp, counters};
}

SNMPTrafficReading rates(double downRate, double upRate, std::uint64_t down, std::uint64_t up,
                         bool isUp = true, CounterWidth counters = CounterWidth::bits64) {
  return {downRate, upRate, down, up, isUp, counters};
}

void removeOctetCounters(AgentTable& table) {
  for (const OID& column :
       {IfMib::ifHCInOctets(), IfMib::ifHCOutOctets(), IfMib::ifInOctets(), IfMib::ifOutOctets()}) {
    table.removeColumn(column);
  }
}

TEST_F(SamplerTest, FirstSampleHasNoRatesNoTotalsAndTheUpState) {
  row(5000, 7000, IfMib::operStatusDown);
  auto s = sampler();
  EXPECT_EQ(s.sample(), noRates(0, 0, false));
}

TEST_F(SamplerTest, RatesAndTotalsFromCounterDifferences) {
  auto s = sampledOnce(5000, 7000);
  EXPECT_EQ(sampleAt(s, 102, 7000, 8000), rates(1000, 500, 2000, 1000));
}

TEST_F(SamplerTest, SwappedDirectionsExchangeDownloadAndUpload) {
  auto s = sampledOnce(5000, 7000, true);
  EXPECT_EQ(sampleAt(s, 102, 7000, 8000), rates(500, 1000, 1000, 2000));
}

TEST_F(SamplerTest, TenSecondsStillGiveRatesLongerGapsDoNot) {
  auto s = sampledOnce(0, 0);
  EXPECT_EQ(sampleAt(s, 110.0, 1000, 100), rates(100, 10, 1000, 100));
  EXPECT_EQ(sampleAt(s, 120.5, 2000, 200), noRates(1000, 100));
  EXPECT_EQ(sampleAt(s, 122.5, 2400, 300), rates(200, 50, 1400, 200));
}

TEST_F(SamplerTest, CounterGoingDownGivesNoRatesOnceThenMeasuresFromTheNewValue) {
  auto s = sampledOnce(9000, 9000);
  EXPECT_EQ(sampleAt(s, 102, 11000, 10000), rates(1000, 500, 2000, 1000));

  at(104);
  agent.update([](AgentTable& table) { table.resetCounters(); });
  EXPECT_EQ(s.sample(), noRates(2000, 1000));

  EXPECT_EQ(sampleAt(s, 106, 400, 200), rates(200, 100, 2400, 1200));
}

TEST_F(SamplerTest, OnlyOneCounterGoingDownAlsoGivesNoRates) {
  auto s = sampledOnce(1000, 1000);
  EXPECT_EQ(sampleAt(s, 102, 5000, 999), noRates(0, 0));
}

TEST_F(SamplerTest, TimeNotAdvancingGivesNoRates) {
  auto s = sampledOnce(0, 0);
  EXPECT_EQ(sampleAt(s, 100, 1000, 1000), noRates(0, 0));  // same clock value
  EXPECT_EQ(sampleAt(s, 99, 2000, 2000), noRates(0, 0));   // clock went back
}

TEST_F(SamplerTest, JumpFasterThanTenTerabitsIsTakenLikeACounterReset) {
  constexpr std::uint64_t tenTerabits = 2'500'000'000'000;  // bytes in 2 s at 10 Tbit/s
  auto s = sampledOnce(0, 0);
  // Exactly 10 Tbit/s still counts, in either direction.
  EXPECT_EQ(sampleAt(s, 102, tenTerabits, 0), rates(1.25e12, 0, tenTerabits, 0));
  EXPECT_EQ(sampleAt(s, 104, tenTerabits, tenTerabits),
            rates(0, 1.25e12, tenTerabits, tenTerabits));

  // One byte per second more, in either direction: no rate and the totals stay...
  EXPECT_EQ(sampleAt(s, 106, 2 * tenTerabits + 2, tenTerabits), noRates(tenTerabits, tenTerabits));
  EXPECT_EQ(sampleAt(s, 108, 2 * tenTerabits + 2, 2 * tenTerabits + 2),
            noRates(tenTerabits, tenTerabits));
  // ...as they do when an agent sets a counter to garbage just below 2^64...
  EXPECT_EQ(sampleAt(s, 110, highest - 1000, 2 * tenTerabits + 2),
            noRates(tenTerabits, tenTerabits));
  // ...and the next sample measures from the new values.
  EXPECT_EQ(sampleAt(s, 112, highest, 2 * tenTerabits + 402),
            rates(500, 200, tenTerabits + 1000, tenTerabits + 400));
}

struct OperCase {
  std::string name;
  std::optional<SNMPValue> value;  // none: the object is absent
  bool isUp;
};

// The case as its test name shows it.
void PrintTo(const OperCase& c, std::ostream* out) {
  *out << c.name;
}

class SamplerOperStatusTest : public SamplerTest, public testing::WithParamInterface<OperCase> {};

TEST_P(SamplerOperStatusTest, OnlyTheIntegerOneIsUp) {
  row(0, 0);
  const OID status = IfMib::instance(IfMib::ifOperStatus(), 3);
  if (GetParam().value) {
    agent.set(status, *GetParam().value);
  } else {
    agent.remove(status);
  }
  auto s = sampler();
  EXPECT_EQ(s.sample().isUp, GetParam().isUp);
}

INSTANTIATE_TEST_SUITE_P(Values, SamplerOperStatusTest,
                         testing::Values(OperCase{"up", SNMPValue::integer(1), true},
                                         OperCase{"down", SNMPValue::integer(2), false},
                                         OperCase{"dormant", SNMPValue::integer(5), false},
                                         OperCase{"missing", std::nullopt, false},
                                         OperCase{"unsignedOne", SNMPValue::unsignedInteger(1),
                                                  false},
                                         OperCase{"textOne", SNMPValue::bytes("1"), false}),
                         [](const testing::TestParamInfo<OperCase>& p) { return p.param.name; });

TEST_F(SamplerTest, RenumberedInterfaceIsFoundAgainAndMeasuredAfresh) {
  row(1000, 1000, IfMib::operStatusUp, 3);
  auto s = sampler();
  s.sample();
  at(102);
  row(3000, 2000, IfMib::operStatusUp, 3);
  EXPECT_EQ(s.sample(), rates(1000, 500, 2000, 1000));

  // The device renumbers: eth0 moves to 7 and another interface takes 3.
  agent.update([](AgentTable& table) { table.moveInterface(3, 7); });
  row(90000, 90000, IfMib::operStatusUp, 3, "wan");
  at(104);
  row(5000, 3000, IfMib::operStatusDown, 7);
  EXPECT_EQ(s.sample(), noRates(2000, 1000, false));

  at(106);
  row(7000, 4000, IfMib::operStatusDown, 7);
  EXPECT_EQ(s.sample(), rates(1000, 500, 4000, 2000, false));
}

TEST_F(SamplerTest, SecondSampleReadsTheKnownIndexWithoutWalking) {
  row(0, 0);
  auto s = sampler();
  s.sample();
  const auto before = agent.requestCount();
  s.sample();
  EXPECT_EQ(agent.requestCount(), before + 1);
}

TEST_F(SamplerTest, FirstMatchInTableOrderWins) {
  row(100, 100, IfMib::operStatusUp, 2, "eth0");
  row(0, 0, IfMib::operStatusDown, 5, "eth0");
  auto s = sampler();
  s.sample();
  at(101);
  row(200, 300, IfMib::operStatusUp, 2, "eth0");
  EXPECT_EQ(s.sample(), rates(100, 200, 100, 200));
}

TEST_F(SamplerTest, OfSeveralRowsWithTheNameTheLastUpOneIsWatched) {
  // Stale rows left behind by PPP reconnects: two down, two up.
  row(100, 100, IfMib::operStatusDown, 4, "ppp0");
  row(0, 0, IfMib::operStatusUp, 9, "ppp0");
  row(0, 0, IfMib::operStatusDown, 12, "ppp0");
  row(5000, 5000, IfMib::operStatusUp, 17, "ppp0");
  auto s = sampler("ppp0");
  s.sample();
  at(101);
  row(5200, 5100, IfMib::operStatusUp, 17, "ppp0");
  EXPECT_EQ(s.sample(), rates(200, 100, 200, 100));
}

TEST_F(SamplerTest, ARowThatGoesDownGivesWayToAnUpNamesakeLookedForEveryThirtySeconds) {
  row(0, 0, IfMib::operStatusDown, 4, "ppp0");
  row(1000, 1000, IfMib::operStatusUp, 9, "ppp0");
  auto s = sampler("ppp0");
  s.sample();

  // The line reconnects on a new row: row 9 goes down, and with no other row up yet it
  // stays ours.
  at(102);
  row(1200, 1100, IfMib::operStatusDown, 9, "ppp0");
  EXPECT_EQ(s.sample(), rates(100, 50, 200, 100, false));

  // Row 4 comes up: not looked at again before 30 s have passed since.
  row(0, 0, IfMib::operStatusUp, 4, "ppp0");
  at(104);
  EXPECT_EQ(s.sample(), rates(0, 0, 200, 100, false));
  at(132);
  row(3000, 3000, IfMib::operStatusUp, 4, "ppp0");
  EXPECT_EQ(s.sample(), noRates(200, 100, true));
  at(134);
  row(3400, 3200, IfMib::operStatusUp, 4, "ppp0");
  EXPECT_EQ(s.sample(), rates(200, 100, 600, 300));
}

TEST_F(SamplerTest, AHighCapacityCounterStandingAtZeroBesideAMovingOneIsNotUsed) {
  auto s = sampler();
  row32(5000, 5000);
  agent.set(IfMib::instance(IfMib::ifHCInOctets(), 3), AgentValue::counter64(0));
  agent.set(IfMib::instance(IfMib::ifHCOutOctets(), 3), AgentValue::counter64(5000));
  EXPECT_EQ(s.sample(), noRates(0, 0, true, CounterWidth::bits32));
  EXPECT_EQ(SNMPTrafficSampler::interfaces(client()).at(0).counters, CounterWidth::bits32);

  // Once the agent fills them, they are used, measured afresh.
  at(102);
  row(7000, 6000);
  EXPECT_EQ(s.sample(), noRates(0, 0));
  at(104);
  row(9000, 7000);
  EXPECT_EQ(s.sample(), rates(1000, 500, 2000, 1000));
}

TEST_F(SamplerTest, EachCounterIsTakenAtTheWidthOfItsType) {
  constexpr std::uint64_t wrap = std::uint64_t{1} << 32U;
  // The HC columns typed Counter32: they wrap like one.
  auto narrow = sampler();
  row(0, 0);
  agent.set(IfMib::instance(IfMib::ifHCInOctets(), 3), AgentValue::counter32(4'294'966'296));
  agent.set(IfMib::instance(IfMib::ifHCOutOctets(), 3), AgentValue::counter32(0));
  narrow.sample();
  at(102);
  agent.set(IfMib::instance(IfMib::ifHCInOctets(), 3), AgentValue::counter32(1000));
  agent.set(IfMib::instance(IfMib::ifHCOutOctets(), 3), AgentValue::counter32(10));
  EXPECT_EQ(narrow.sample(), rates(1000, 5, 2000, 10, true, CounterWidth::bits32));

  // The ifTable columns typed Counter64, above 2^32: read as they are, and going down is
  // a reset, not a wrap.
  agent.update(removeOctetCounters);
  auto wide = sampler();
  const auto counters = [&](std::uint64_t in, std::uint64_t out) {
    agent.set(IfMib::instance(IfMib::ifInOctets(), 3), AgentValue::counter64(in));
    agent.set(IfMib::instance(IfMib::ifOutOctets(), 3), AgentValue::counter64(out));
  };
  counters(5 * wrap, 7 * wrap);
  wide.sample();
  at(104);
  counters(5 * wrap + 4000, 7 * wrap + 2000);
  EXPECT_EQ(wide.sample(), rates(2000, 1000, 4000, 2000));
  at(106);
  counters(100, 7 * wrap + 2000);
  EXPECT_EQ(wide.sample(), noRates(4000, 2000));
}

class SamplerNameTest : public SamplerTest, public testing::WithParamInterface<std::string> {};

TEST_P(SamplerNameTest, NamesMatchExactly) {
  row(0, 0, IfMib::operStatusUp, 1, GetParam());
  auto s = sampler("eth0");
  EXPECT_EQ(thrownBy<SNMPTrafficError>([&] { s.sample(); }), SNMPTrafficError::interfaceNotFound());
}

INSTANTIATE_TEST_SUITE_P(NearMisses, SamplerNameTest,
                         testing::Values("ETH0", "eth0 ", " eth0", "eth", "eth00",
                                         std::string("eth0\0x", 6)));

TEST_F(SamplerTest, TrailingNulBytesAreNoPartOfTheName) {
  row(0, 0, IfMib::operStatusUp, 65539, std::string("eth0\0\0", 6));
  EXPECT_EQ(SNMPTrafficSampler::interfaces(client()).at(0).name, "eth0");
  auto s = sampler("eth0");
  EXPECT_EQ(s.sample(), noRates(0, 0));
}

TEST_F(SamplerTest, InvalidUTF8NameMatchesItsListedForm) {
  agent.setInterface({4, std::string("wl\xFF\xC3", 4), 0, 0, IfMib::operStatusUp, true});
  const auto listed = SNMPTrafficSampler::interfaces(client());
  ASSERT_EQ(listed.size(), 1U);
  EXPECT_EQ(listed[0].name, "wl\uFFFD\uFFFD");

  auto s = sampler(listed[0].name);
  EXPECT_EQ(s.sample(), noRates(0, 0));
}

TEST_F(SamplerTest, NonUTF8NameDoesNotMatchTheSameLatin1Letters) {
  agent.setInterface({4,
                      std::string("Stra\xDF"
                                  "e",
                                  6),
                      0, 0, IfMib::operStatusUp, true});
  auto s = sampler("Stra\u00DFe");
  EXPECT_EQ(thrownBy<SNMPTrafficError>([&] { s.sample(); }), SNMPTrafficError::interfaceNotFound());
}

TEST_F(SamplerTest, WithoutHighCapacityCountersThe32BitOnesAreReadAndListed) {
  auto s = sampler();
  row32(5000, 6000);
  EXPECT_EQ(s.sample(), noRates(0, 0, true, CounterWidth::bits32));
  at(102);
  row32(7000, 7000);
  EXPECT_EQ(s.sample(), rates(1000, 500, 2000, 1000, true, CounterWidth::bits32));
  EXPECT_EQ(SNMPTrafficSampler::interfaces(client()),
            (std::vector<SNMPInterface>{{"eth0", true, CounterWidth::bits32}}));
}

TEST_F(SamplerTest, NeitherPairOfCountersIsNoCountersEveryTimeButTheListShowsIt) {
  row(0, 0);
  agent.update(removeOctetCounters);
  // Counters of another type are none either.
  agent.set(IfMib::instance(IfMib::ifHCOutOctets(), 3), SNMPValue::integer(5));
  auto s = sampler();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(thrownBy<SNMPTrafficError>([&] { s.sample(); }), SNMPTrafficError::noCounters());
  }
  EXPECT_EQ(SNMPTrafficSampler::interfaces(client()),
            (std::vector<SNMPInterface>{{"eth0", true, CounterWidth::none}}));
}

TEST_F(SamplerTest, NoCountersLeavesTheStateAsItWas) {
  auto s = sampledOnce(1000, 1000);
  agent.update(removeOctetCounters);
  at(101);
  EXPECT_THROW(s.sample(), SNMPTrafficError);

  EXPECT_EQ(sampleAt(s, 102, 3000, 2000), rates(1000, 500, 2000, 1000));
}

TEST_F(SamplerTest, ThirtyTwoBitCounterBelowItsLastValueWrappedOnce) {
  constexpr std::uint64_t wrap = std::uint64_t{1} << 32U;
  auto s = sampler();
  uptime(1000);
  row32(wrap - 1000, wrap - 500);
  s.sample();
  at(102);
  uptime(1200);
  row32(wrap + 1000, wrap);  // on the wire: 1000 and 0
  EXPECT_EQ(s.sample(), rates(1000, 250, 2000, 500, true, CounterWidth::bits32));
}

TEST_F(SamplerTest, LowerUptimeIsARestartNotAWrap) {
  auto s = sampler();
  uptime(90000);
  row32(3'000'000'000, 1000);
  s.sample();
  at(102);
  uptime(150);
  row32(5000, 0);
  EXPECT_EQ(s.sample(), noRates(0, 0, true, CounterWidth::bits32));
  at(104);
  uptime(350);
  row32(7000, 1000);
  EXPECT_EQ(s.sample(), rates(1000, 500, 2000, 1000, true, CounterWidth::bits32));

  // 64-bit counters that kept growing across a restart count from elsewhere too.
  auto wide = sampledOnce(1000, 1000);
  uptime(100);
  EXPECT_EQ(sampleAt(wide, 106, 3000, 3000), noRates(0, 0));
}

TEST_F(SamplerTest, WrapFasterThanTheLineIsTakenLikeAReset) {
  constexpr std::uint64_t wrap = std::uint64_t{1} << 32U;
  constexpr std::uint32_t tenMegabits = 10'000'000;  // 1.25 MB/s
  auto s = sampler();
  row32(wrap - 1'000'000, 0, tenMegabits);
  s.sample();
  // 2.5 MB in 2 s fits the line exactly...
  at(102);
  row32(wrap + 1'500'000, 0, tenMegabits);
  EXPECT_EQ(s.sample(), rates(1.25e6, 0, 2'500'000, 0, true, CounterWidth::bits32));
  // ...a drop to near 0 without an uptime to show the restart would be a wrap of 4 GB in
  // 2 s: no rate, and the next sample measures from there.
  at(104);
  row32(2 * wrap + 1000, 0, tenMegabits);
  EXPECT_EQ(s.sample(), noRates(2'500'000, 0, true, CounterWidth::bits32));
  at(106);
  row32(2 * wrap + 1100, 0, tenMegabits);
  EXPECT_EQ(s.sample(), rates(50, 0, 2'500'100, 0, true, CounterWidth::bits32));
}

TEST_F(SamplerTest, ClientErrorsPassThroughAndLeaveTheStateAsItWas) {
  row(1000, 1000);
  auto s = sampler("eth0", false, 0.05);
  s.sample();
  agent.queueFaults({AgentFault::drop(), AgentFault::drop()});
  EXPECT_EQ(thrownBy<SNMPError>([&] { s.sample(); }), SNMPError::timeout());

  agent.queueFault(AgentFault::error(5));
  EXPECT_EQ(thrownBy<SNMPError>([&] { s.sample(); }), SNMPError::agent(5));

  EXPECT_EQ(sampleAt(s, 102, 3000, 2000), rates(1000, 500, 2000, 1000));
}

TEST_F(SamplerTest, ReplyListingOtherOIDsIsMalformedWithoutWalkingAgain) {
  auto s = sampledOnce(1000, 1000);
  agent.queueFault(AgentFault::outOfOrder());
  const auto before = agent.requestCount();
  EXPECT_EQ(thrownBy<SNMPError>([&] { s.sample(); }), SNMPError::malformed());
  EXPECT_EQ(agent.requestCount(), before + 1);
}

TEST_F(SamplerTest, RowThatDoesNotConfirmRightAfterResolvingIsNotFound) {
  // Between the walk and the read the row changes its name.
  auto requests = std::make_shared<std::atomic<int>>(0);
  agent.setSource([requests] {
    AgentTable table;
    const bool walking = requests->fetch_add(1) == 0;
    table.setInterface({3, walking ? "eth0" : "eth9", 0, 0, IfMib::operStatusUp, true});
    return table;
  });
  auto s = sampler();
  EXPECT_EQ(thrownBy<SNMPTrafficError>([&] { s.sample(); }), SNMPTrafficError::interfaceNotFound());
}

TEST_F(SamplerTest, LostInterfaceIsLookedForOnEverySampleAndMeasuredAfresh) {
  auto s = sampledOnce(1000, 1000);
  agent.update([](AgentTable& table) { table.removeInterface(3); });
  at(101);
  EXPECT_THROW(s.sample(), SNMPTrafficError);
  EXPECT_THROW(s.sample(), SNMPTrafficError);

  // Back at its old index: found, but no rate against the sample before it was lost.
  EXPECT_EQ(sampleAt(s, 102, 2000, 2000), noRates(0, 0));
  EXPECT_EQ(sampleAt(s, 103, 2100, 2300), rates(100, 300, 100, 300));
}

TEST_F(SamplerTest, InterfacesInTableOrderWithTheirUpStates) {
  row(0, 0, IfMib::operStatusUp, 1, "lo");
  row(0, 0, IfMib::operStatusDown, 2, "eth0");
  row(0, 0, 5, 3, "wlan0");
  row(0, 0, IfMib::operStatusUp, 4, "eth0");
  row(0, 0, IfMib::operStatusUp, 11, "br0");
  agent.remove(IfMib::instance(IfMib::ifOperStatus(), 11));
  // Rows without a name, empty or not text, in either column, are left out.
  row(0, 0, IfMib::operStatusUp, 10, "");
  agent.set(IfMib::instance(IfMib::ifName(), 12), SNMPValue::integer(12));
  agent.set(IfMib::instance(IfMib::ifName(), 13), SNMPValue::bytes(std::string(2, '\0')));
  agent.set(IfMib::instance(IfMib::ifDescr(), 13), SNMPValue::integer(13));

  constexpr auto wide = CounterWidth::bits64;
  EXPECT_EQ(SNMPTrafficSampler::interfaces(client()),
            (std::vector<SNMPInterface>{{"lo", true, wide},
                                        {"eth0", false, wide},
                                        {"wlan0", false, wide},
                                        {"eth0", true, wide},
                                        {"br0", false, wide}}));
}

TEST_F(SamplerTest, InterfacesWalkBothColumnsInTheSameRequests) {
  for (std::uint32_t index = 1; index <= 45; ++index) {
    row(0, 0, index % 2 == 1 ? IfMib::operStatusUp : IfMib::operStatusDown, index,
        "if" + std::to_string(index));
  }
  const auto before = agent.requestCount();
  const auto listed = SNMPTrafficSampler::interfaces(client());
  ASSERT_EQ(listed.size(), 45U);
  EXPECT_EQ(listed[0], (SNMPInterface{"if1", true, CounterWidth::bits64}));
  EXPECT_EQ(listed[43], (SNMPInterface{"if44", false, CounterWidth::bits64}));
  // Rows 1-20, 21-40 and 41-45 of every column; one column after the other takes 21.
  EXPECT_EQ(agent.requestCount() - before, 3U);
}

TEST_F(SamplerTest, WithoutIfNameTheDescriptionNamesEveryRowAndIsConfirmedOnEveryRead) {
  row(0, 0, IfMib::operStatusUp, 1, "lo");
  row(0, 0, IfMib::operStatusUp, 3, "eth0");
  agent.update([](AgentTable& table) { table.removeColumn(IfMib::ifName()); });
  EXPECT_EQ(SNMPTrafficSampler::interfaces(client()),
            (std::vector<SNMPInterface>{{"lo", true, CounterWidth::bits64},
                                        {"eth0", true, CounterWidth::bits64}}));
  auto s = sampler("eth0");
  s.sample();
  // Another interface takes the row: the description no longer confirms it.
  agent.set(IfMib::instance(IfMib::ifDescr(), 3), SNMPValue::bytes("eth1"));
  EXPECT_EQ(thrownBy<SNMPTrafficError>([&] { s.sample(); }), SNMPTrafficError::interfaceNotFound());
}

TEST_F(SamplerTest, AnEmptyIfNameGivesWayToTheDescriptionAnotherRowKeepsItsIfName) {
  row(0, 0, IfMib::operStatusUp, 1, "wan");
  row(0, 0, IfMib::operStatusUp, 2, "lan");
  agent.set(IfMib::instance(IfMib::ifName(), 1), SNMPValue::bytes(""));
  agent.set(IfMib::instance(IfMib::ifDescr(), 2), SNMPValue::bytes("LAN port"));
  const auto listed = SNMPTrafficSampler::interfaces(client());
  ASSERT_EQ(listed.size(), 2U);
  EXPECT_EQ(listed[0].name, "wan");
  EXPECT_EQ(listed[1].name, "lan");
  auto s = sampler("LAN port");
  EXPECT_EQ(thrownBy<SNMPTrafficError>([&] { s.sample(); }), SNMPTrafficError::interfaceNotFound());
}

TEST_F(SamplerTest, NeitherNameColumnListsNothingAndFindsNothing) {
  row(0, 0, IfMib::operStatusUp, 1, "lo");
  agent.update([](AgentTable& table) {
    table.removeColumn(IfMib::ifName());
    table.removeColumn(IfMib::ifDescr());
  });
  EXPECT_EQ(SNMPTrafficSampler::interfaces(client()), std::vector<SNMPInterface>{});
  auto s = sampler("lo");
  EXPECT_EQ(thrownBy<SNMPTrafficError>([&] { s.sample(); }), SNMPTrafficError::interfaceNotFound());
}

TEST_F(SamplerTest, InterfacesPassesWalkErrorsOn) {
  agent.queueFaults({AgentFault::drop(), AgentFault::drop()});
  EXPECT_EQ(thrownBy<SNMPError>([&] { SNMPTrafficSampler::interfaces(client(0.05)); }),
            SNMPError::timeout());
}

TEST_F(SamplerTest, TimeIsTakenWhenTheCountersHaveArrived) {
  auto s = sampledOnce(1000, 1000);
  at(101);
  // The counters leave the device at 102: that is the time they were read at.
  AgentTable table = agent.table();
  table.setInterface({3, "eth0", 3000, 2000, IfMib::operStatusUp, true});
  agent.setSource([table, now = now] {
    now->store(102);
    return table;
  });
  EXPECT_EQ(s.sample(), rates(1000, 500, 2000, 1000));
}

TEST_F(SamplerTest, LooksAtTheFirst2048RowsAndTheRestOfTheirLastBatch) {
  // The walk asks for 20 rows at a time until it holds 2048 or more: 2060 of these 2100.
  agent.update([](AgentTable& table) {
    for (std::uint32_t i = 1; i <= 2100; ++i) {
      table.setInterface({i, "if" + std::to_string(i), 0, 0, IfMib::operStatusUp, true});
    }
  });
  const auto listed = SNMPTrafficSampler::interfaces(client());
  ASSERT_EQ(listed.size(), 2060U);
  EXPECT_EQ(listed.back(), (SNMPInterface{"if2060", true, CounterWidth::bits64}));

  auto last = sampler("if2060");
  EXPECT_EQ(last.sample(), noRates(0, 0));
  auto beyond = sampler("if2061");
  EXPECT_EQ(thrownBy<SNMPTrafficError>([&] { beyond.sample(); }),
            SNMPTrafficError::interfaceNotFound());
}

#if defined(__SANITIZE_THREAD__)
constexpr bool underThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool underThreadSanitizer = true;
#else
constexpr bool underThreadSanitizer = false;
#endif
#else
constexpr bool underThreadSanitizer = false;
#endif

// What `measure` returns in a child process whose boot clock runs `seconds` ahead of its
// monotonic clock, as after a suspend of that long (a time namespace stands in for it).
// None where the system has no time namespaces for this user.
std::optional<double> afterSuspendOf(double seconds, double (*measure)()) {
  std::array<int, 2> pipe{};
  if (pipe2(pipe.data(), O_CLOEXEC) != 0) return std::nullopt;
  const std::string offsets = "boottime " + std::to_string(static_cast<long>(seconds)) + " 0";
  // Between fork and _exit only async-signal-safe calls: the test process has threads.
  const pid_t child = fork();
  if (child == 0) {
    close(pipe[0]);
    if (unshare(CLONE_NEWUSER | CLONE_NEWTIME) != 0) _exit(1);
    const int fd = open("/proc/self/timens_offsets", O_WRONLY | O_CLOEXEC);
    if (fd < 0 || write(fd, offsets.data(), offsets.size()) < 0) _exit(1);
    close(fd);
    // The new namespace takes in the children of the process that made it.
    const pid_t inner = fork();
    if (inner == 0) {
      const double value = measure();
      _exit(write(pipe[1], &value, sizeof value) == sizeof value ? 0 : 1);
    }
    int status = 0;
    _exit(inner > 0 && waitpid(inner, &status, 0) == inner && WIFEXITED(status)
              ? WEXITSTATUS(status)
              : 1);
  }
  close(pipe[1]);
  double value = 0;
  const bool received = child > 0 && read(pipe[0], &value, sizeof value) == sizeof value;
  close(pipe[0]);
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
  if (!received) return std::nullopt;
  return value;
}

double monotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST(BootTimeClock, KeepsCountingThroughASuspend) {
  if (underThreadSanitizer) {
    GTEST_SKIP() << "ThreadSanitizer starts a thread in every forked child, and a process with "
                    "threads cannot make a user namespace; the other builds run this test";
  }
  constexpr double suspended = 1'000'000;
  const auto gap = afterSuspendOf(suspended, [] { return bootTimeSeconds() - monotonicSeconds(); });
  if (!gap) {
    if (test::runningInCI()) FAIL() << "no time namespace (unshare CLONE_NEWUSER|CLONE_NEWTIME)";
    GTEST_SKIP() << "this system gives no time namespaces";
  }
  EXPECT_GE(*gap, suspended - 1);
  EXPECT_LT(*gap, suspended + 1);
}

TEST(BootTimeClock, CountsSecondsAndNeverGoesBack) {
  const double first = bootTimeSeconds();
  const double second = bootTimeSeconds();
  EXPECT_GT(first, 0.0);
  EXPECT_GE(second, first);
}

}  // namespace
}  // namespace pulsewell
