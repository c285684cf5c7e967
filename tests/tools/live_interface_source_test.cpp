#include "agent/live_interface_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "agent/agent_value.h"
#include "snmp/if_mib.h"
#include "tests/support/temporary_folder.h"

namespace pulsewell {
namespace {

using Counters = LiveInterfaceSource::Counters;

// /proc/net/dev as a Linux 6.x kernel writes it.
constexpr std::string_view netDevFixture =
    "Inter-|   Receive                                                |  Transmit\n"
    " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs "
    "drop fifo colls carrier compressed\n"
    "    lo:    3267      29    0    0    0     0          0         0     3267      29    0    "
    "0    0     0       0          0\n"
    "  eth0: 54037873    1608    0    0    0     0          0         0    52086     586    0  "
    "  0    0     0       0          0\n"
    "wlp2s0: 18446744073709551615 1 0 0 0 0 0 0 4294967296 1 0 0 0 0 0 0\n";

TEST(LiveInterfaceSourceTest, ParsesTheKernelsFormat) {
  EXPECT_EQ(LiveInterfaceSource::parseNetDev(netDevFixture),
            (std::vector<Counters>{{"lo", 3267, 3267},
                                   {"eth0", 54037873, 52086},
                                   {"wlp2s0", 18446744073709551615ULL, 4294967296ULL}}));
}

TEST(LiveInterfaceSourceTest, ParsesALineWithoutBlankAfterTheColon) {
  // Old kernels ran a large byte count into the colon.
  EXPECT_EQ(LiveInterfaceSource::parseNetDev("eth0:1234567 1 0 0 0 0 0 0 89 1 0 0 0 0 0 0\n"),
            (std::vector<Counters>{{"eth0", 1234567, 89}}));
}

struct BadLineCase {
  std::string name;
  std::string line;
};

// The case as its test name shows it.
void PrintTo(const BadLineCase& c, std::ostream* out) {
  *out << c.name;
}

class NetDevBadLineTest : public testing::TestWithParam<BadLineCase> {};

TEST_P(NetDevBadLineTest, IsSkippedAndTheNeighboursStay) {
  const std::string text = "a: 1 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0\n" + GetParam().line +
                           "\nb: 3 0 0 0 0 0 0 0 4 0 0 0 0 0 0 0\n";
  EXPECT_EQ(LiveInterfaceSource::parseNetDev(text),
            (std::vector<Counters>{{"a", 1, 2}, {"b", 3, 4}}));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, NetDevBadLineTest,
    testing::Values(BadLineCase{"NoColon", "eth0 1 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0"},
                    BadLineCase{"FifteenFields", "eth0: 1 0 0 0 0 0 0 0 2 0 0 0 0 0 0"},
                    BadLineCase{"NotANumber", "eth0: 1 0 0 0 0 0 0 0 x 0 0 0 0 0 0 0"},
                    BadLineCase{"Negative", "eth0: -1 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0"},
                    BadLineCase{"BeyondSixtyFourBits",
                                "eth0: 18446744073709551616 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0"},
                    BadLineCase{"SignedNumber", "eth0: +1 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0"},
                    BadLineCase{"EmptyName", "  : 1 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0"},
                    BadLineCase{"NameWithSlash", "../../etc: 1 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0"},
                    BadLineCase{"DotDot", "..: 1 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0"},
                    BadLineCase{"NameWithBlank", "et h0: 1 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0"},
                    BadLineCase{"NameTooLong", "abcdefghijklmnop: 1 0 0 0 0 0 0 0 2 0 0 0 0 0 0 0"},
                    BadLineCase{"RepeatedName", "a: 9 0 0 0 0 0 0 0 9 0 0 0 0 0 0 0"},
                    BadLineCase{"Empty", ""}),
    [](const testing::TestParamInfo<BadLineCase>& testCase) { return testCase.param.name; });

struct StateCase {
  std::string name;
  std::string interface;
  std::string operstate;
  std::int64_t status;
};

// The case as its test name shows it.
void PrintTo(const StateCase& c, std::ostream* out) {
  *out << c.name;
}

class OperStatusTest : public testing::TestWithParam<StateCase> {};

TEST_P(OperStatusTest, MapsTheKernelsState) {
  EXPECT_EQ(LiveInterfaceSource::operStatus(GetParam().interface, GetParam().operstate),
            GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(States, OperStatusTest,
                         testing::Values(StateCase{"Up", "eth0", "up\n", 1},
                                         StateCase{"Down", "eth0", "down\n", 2},
                                         StateCase{"LoopbackUnknownIsUp", "lo", "unknown\n", 1},
                                         StateCase{"OtherUnknownIsDown", "tun0", "unknown\n", 2},
                                         StateCase{"Dormant", "wlan0", "dormant\n", 2},
                                         StateCase{"LowerLayerDown", "eth1", "lowerlayerdown\n", 2},
                                         StateCase{"Unreadable", "eth0", "", 2},
                                         StateCase{"CaseMatters", "eth0", "UP\n", 2}),
                         [](const testing::TestParamInfo<StateCase>& testCase) {
                           return testCase.param.name;
                         });

// A throw-away root with proc/net/dev and sys/class/net/<name>/ files.
class FixtureRoot {
 public:
  void write(const std::filesystem::path& relative, std::string_view text) const {
    const auto path = root_.path() / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  void device(const std::string& name, std::string_view index, std::string_view state) const {
    write("sys/class/net/" + name + "/ifindex", index);
    write("sys/class/net/" + name + "/operstate", state);
  }
  const std::filesystem::path& path() const { return root_.path(); }

 private:
  test::TemporaryFolder root_;
};

TEST(LiveInterfaceSourceTest, ReadsIndexAndStateBesideTheCounters) {
  const FixtureRoot root;
  root.write("proc/net/dev", netDevFixture);
  root.device("lo", "1\n", "unknown\n");
  root.device("eth0", "4\n", "up\n");
  root.device("wlp2s0", "3\n", "down\n");

  EXPECT_EQ(LiveInterfaceSource(root.path()).interfaces(),
            (std::vector<SimulatedInterface>{
                {1, "lo", 3267, 3267, 1, true},
                {4, "eth0", 54037873, 52086, 1, true},
                {3, "wlp2s0", 18446744073709551615ULL, 4294967296ULL, 2, true}}));
}

TEST(LiveInterfaceSourceTest, LeavesOutAnInterfaceWithoutAUsableIndex) {
  const FixtureRoot root;
  root.write("proc/net/dev",
             "a: 1 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0\nb: 1 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0\n"
             "c: 1 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0\nd: 1 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0\n"
             "e: 1 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0\n");
  root.device("a", "0\n", "up\n");           // ifIndex starts at 1
  root.device("b", "2147483648\n", "up\n");  // beyond an InterfaceIndex
  root.device("c", "seven\n", "up\n");
  root.write("sys/class/net/d/operstate", "up\n");  // no ifindex at all
  root.device("e", "9\n", "up\n");

  const auto interfaces = LiveInterfaceSource(root.path()).interfaces();
  ASSERT_EQ(interfaces.size(), 1U);
  EXPECT_EQ(interfaces[0].name, "e");
  EXPECT_EQ(interfaces[0].index, 9U);
}

TEST(LiveInterfaceSourceTest, InterfaceWithoutStateFileIsDown) {
  const FixtureRoot root;
  root.write("proc/net/dev", "eth0: 1 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0\n");
  root.write("sys/class/net/eth0/ifindex", "2\n");
  EXPECT_EQ(LiveInterfaceSource(root.path()).interfaces().at(0).operStatus, 2);
}

TEST(LiveInterfaceSourceTest, TableServesTheRowsUnderTheirIndexes) {
  const FixtureRoot root;
  root.write("proc/net/dev", netDevFixture);
  root.device("lo", "1\n", "unknown\n");
  root.device("eth0", "4\n", "up\n");

  const AgentTable table = LiveInterfaceSource(root.path()).table();
  EXPECT_EQ(*table.find(IfMib::instance(IfMib::ifName(), 4)), AgentValue::octetString("eth0"));
  EXPECT_EQ(*table.find(IfMib::instance(IfMib::ifDescr(), 4)), AgentValue::octetString("eth0"));
  EXPECT_EQ(*table.find(IfMib::instance(IfMib::ifHCInOctets(), 4)),
            AgentValue::counter64(54037873));
  EXPECT_EQ(*table.find(IfMib::instance(IfMib::ifHCOutOctets(), 4)), AgentValue::counter64(52086));
  EXPECT_EQ(*table.find(IfMib::instance(IfMib::ifOperStatus(), 1)), AgentValue::integer(1));
  EXPECT_EQ(table.find(IfMib::instance(IfMib::ifName(), 3)), nullptr);  // wlp2s0 has no /sys entry
}

TEST(LiveInterfaceSourceTest, RefusesARootWithoutNetDev) {
  const FixtureRoot root;
  EXPECT_THROW(LiveInterfaceSource(root.path()).interfaces(), std::runtime_error);
}

TEST(LiveInterfaceSourceTest, ThisMachineHasItsLoopback) {
  const auto interfaces = LiveInterfaceSource().interfaces();
  const auto lo = std::find_if(interfaces.begin(), interfaces.end(),
                               [](const SimulatedInterface& row) { return row.name == "lo"; });
  ASSERT_NE(lo, interfaces.end());
  std::ifstream index("/sys/class/net/lo/ifindex");
  std::uint32_t expected = 0;
  index >> expected;
  EXPECT_EQ(lo->index, expected);
  EXPECT_EQ(lo->operStatus, 1);
}

}  // namespace
}  // namespace pulsewell
