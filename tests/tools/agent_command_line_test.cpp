#include "agent/agent_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pulsewell {
namespace {

using Arguments = std::vector<std::string>;

TEST(AgentCommandLineTest, DefaultsServeTheLiveTableOnAnyPort) {
  const auto result = AgentCommandLine::parse({});
  ASSERT_TRUE(result.options.has_value());
  EXPECT_EQ(result.options->agent.bindAddress, "127.0.0.1");
  EXPECT_EQ(result.options->agent.port, 0);
  EXPECT_EQ(result.options->agent.community, "public");
  EXPECT_FALSE(result.options->tableFile.has_value());
  EXPECT_FALSE(result.options->portFile.has_value());
}

TEST(AgentCommandLineTest, TakesValuesAsNextArgumentOrAfterEquals) {
  const auto result = AgentCommandLine::parse({"--port", "16100", "--bind=::1", "--community",
                                               "s3cret=x", "--table=t.txt", "--port-file", "p"});
  ASSERT_TRUE(result.options.has_value()) << result.error;
  EXPECT_EQ(result.options->agent.port, 16100);
  EXPECT_EQ(result.options->agent.bindAddress, "::1");
  EXPECT_EQ(result.options->agent.community, "s3cret=x");
  EXPECT_EQ(result.options->tableFile, std::filesystem::path("t.txt"));
  EXPECT_EQ(result.options->portFile, std::filesystem::path("p"));
}

TEST(AgentCommandLineTest, GrowTakesOctetsPerSecondInThenOut) {
  const auto result = AgentCommandLine::parse({"--table", "t.txt", "--grow", "1200000,80000"});
  ASSERT_TRUE(result.options.has_value()) << result.error;
  EXPECT_EQ(result.options->grow,
            (AgentOptions::Growth{.inPerSecond = 1200000, .outPerSecond = 80000}));
  EXPECT_FALSE(AgentCommandLine::parse({"--table", "t.txt"}).options->grow.has_value());
}

TEST(AgentCommandLineTest, AcceptsAnEmptyCommunity) {
  const auto result = AgentCommandLine::parse({"--community="});
  ASSERT_TRUE(result.options.has_value());
  EXPECT_EQ(result.options->agent.community, "");
}

TEST(AgentCommandLineTest, HelpWinsOverEverythingAfterIt) {
  EXPECT_TRUE(AgentCommandLine::parse({"--help", "--nonsense"}).help);
  EXPECT_TRUE(AgentCommandLine::parse({"-h"}).help);
  EXPECT_NE(AgentCommandLine::usage().find("--port-file"), std::string::npos);
}

struct BadCase {
  std::string name;
  Arguments arguments;
  std::string error;
};

// The case as its test name shows it.
void PrintTo(const BadCase& c, std::ostream* out) {
  *out << c.name;
}

class AgentCommandLineErrorTest : public testing::TestWithParam<BadCase> {};

TEST_P(AgentCommandLineErrorTest, SaysWhatIsWrong) {
  const auto result = AgentCommandLine::parse(GetParam().arguments);
  EXPECT_FALSE(result.options.has_value());
  EXPECT_FALSE(result.help);
  EXPECT_EQ(result.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, AgentCommandLineErrorTest,
    testing::Values(
        BadCase{"PortTooLarge",
                {"--port", "65536"},
                "--port wants a number from 0 to 65535, not '65536'"},
        BadCase{"PortNegative", {"--port=-1"}, "--port wants a number from 0 to 65535, not '-1'"},
        BadCase{
            "PortText", {"--port", "snmp"}, "--port wants a number from 0 to 65535, not 'snmp'"},
        BadCase{"MissingValue", {"--community"}, "--community needs a value"},
        BadCase{"EmptyTable", {"--table="}, "--table needs a file name"},
        BadCase{
            "LiveAndTable", {"--table", "t", "--live"}, "use either --live or --table, not both"},
        BadCase{"LiveWithValue", {"--live=yes"}, "--live takes no value"},
        BadCase{"GrowOneNumber",
                {"--table", "t", "--grow", "1000"},
                "--grow wants IN,OUT octets per second, not '1000'"},
        BadCase{"GrowNegative",
                {"--table", "t", "--grow=1,-2"},
                "--grow wants IN,OUT octets per second, not '1,-2'"},
        BadCase{"GrowWithoutTable", {"--grow", "1,2"}, "--grow needs --table"},
        BadCase{"Unknown", {"--verbose"}, "unknown option --verbose"},
        BadCase{"Positional", {"161"}, "unexpected argument '161'"}),
    [](const testing::TestParamInfo<BadCase>& testCase) { return testCase.param.name; });

}  // namespace
}  // namespace pulsewell
