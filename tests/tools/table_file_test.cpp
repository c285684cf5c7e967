#include "agent/table_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "agent/agent_value.h"
#include "tests/support/temporary_folder.h"

namespace pulsewell {
namespace {

struct GoodCase {
  std::string name;
  std::string line;
  OID oid;
  AgentValue value;
};

// The case as its test name shows it.
void PrintTo(const GoodCase& c, std::ostream* out) {
  *out << c.name;
}

class TableFileGoodLineTest : public testing::TestWithParam<GoodCase> {};

TEST_P(TableFileGoodLineTest, GivesTheBinding) {
  const auto parsed = TableFile::parse(GetParam().line);
  ASSERT_TRUE(parsed.errors.empty()) << parsed.errors.front().text();
  const AgentValue* value = parsed.table.find(GetParam().oid);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(*value, GetParam().value);
  EXPECT_EQ(parsed.table.size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TableFileGoodLineTest,
    testing::Values(
        GoodCase{"String",
                 "1.3.6.1.2.1.31.1.1.1.1.1 string eth0",
                 {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1, 1},
                 AgentValue::octetString("eth0")},
        GoodCase{"StringWithBlanksInside",
                 "1.3.6.1 string  WAN uplink  ",
                 {1, 3, 6, 1},
                 AgentValue::octetString("WAN uplink")},
        GoodCase{"QuotedString",
                 R"(1.3.6.1 string "eth0 ")",
                 {1, 3, 6, 1},
                 AgentValue::octetString("eth0 ")},
        GoodCase{"QuotedEmpty", R"(1.3.6.1 string "")", {1, 3, 6, 1}, AgentValue::octetString("")},
        GoodCase{"QuotedEscapes",
                 R"(1.3.6.1 string "a\"b\\c\x00\xff\n\t")",
                 {1, 3, 6, 1},
                 AgentValue::octetString(Bytes{'a', '"', 'b', '\\', 'c', 0x00, 0xFF, '\n', '\t'})},
        GoodCase{"StringWithHash",
                 "1.3.6.1 string #1 port",
                 {1, 3, 6, 1},
                 AgentValue::octetString("#1 port")},
        GoodCase{"LeadingDot", ".1.3.6.1 integer 5", {1, 3, 6, 1}, AgentValue::integer(5)},
        GoodCase{"NegativeInteger",
                 "1.3.6.1 integer -9223372036854775808",
                 {1, 3, 6, 1},
                 AgentValue::integer(INT64_MIN)},
        GoodCase{"Counter32",
                 "1.3.6.1 counter32 4294967295",
                 {1, 3, 6, 1},
                 AgentValue::counter32(4294967295U)},
        GoodCase{"Gauge32", "1.3.6.1 gauge32 7", {1, 3, 6, 1}, AgentValue::gauge32(7)},
        GoodCase{"TimeTicks", "1.3.6.1 timeticks 100", {1, 3, 6, 1}, AgentValue::timeTicks(100)},
        GoodCase{"Counter64",
                 "1.3.6.1 counter64 18446744073709551615",
                 {1, 3, 6, 1},
                 AgentValue::counter64(18446744073709551615ULL)},
        GoodCase{"Oid",
                 "1.3.6.1 oid 1.3.6.1.4.1.8072",
                 {1, 3, 6, 1},
                 AgentValue::objectIdentifier({1, 3, 6, 1, 4, 1, 8072})},
        GoodCase{"Null", "1.3.6.1 null", {1, 3, 6, 1}, AgentValue::null()},
        GoodCase{"TypeInCapitals", "1.3.6.1 Counter64 1", {1, 3, 6, 1}, AgentValue::counter64(1)},
        GoodCase{"TabsAndCrLf", "\t1.3.6.1\tgauge32\t3\r\n", {1, 3, 6, 1}, AgentValue::gauge32(3)},
        GoodCase{"LargestArc", "2.4294967215 null", {2, 4294967215U}, AgentValue::null()}),
    [](const testing::TestParamInfo<GoodCase>& testCase) { return testCase.param.name; });

struct BadCase {
  std::string name;
  std::string line;
  std::string message;  // a part of the error text
};

// The case as its test name shows it.
void PrintTo(const BadCase& c, std::ostream* out) {
  *out << c.name;
}

class TableFileBadLineTest : public testing::TestWithParam<BadCase> {};

TEST_P(TableFileBadLineTest, IsReportedWithItsLineNumber) {
  const std::string text =
      "# a scripted table\n\n1.3.6.1.1 integer 1\n" + GetParam().line + "\n1.3.6.1.2 integer 2\n";
  const auto parsed = TableFile::parse(text);
  ASSERT_EQ(parsed.errors.size(), 1U);
  EXPECT_EQ(parsed.errors[0].line, 4U);
  EXPECT_NE(parsed.errors[0].text().find("line 4: "), std::string::npos);
  EXPECT_NE(parsed.errors[0].message.find(GetParam().message), std::string::npos)
      << parsed.errors[0].message;
  EXPECT_EQ(parsed.table.size(), 2U);  // the good lines around it
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TableFileBadLineTest,
    testing::Values(
        BadCase{"NotAnOid", "ifName.1 string eth0", "'ifName.1' is not an OID"},
        BadCase{"EmptyArc", "1.3..6 integer 1", "'1.3..6' is not an OID"},
        BadCase{"TrailingDot", "1.3.6. integer 1", "is not an OID"},
        BadCase{"OneArc", "1 integer 1", "is not an OID"},
        BadCase{"FirstArcThree", "3.1 integer 1", "is not an OID"},
        BadCase{"ArcBeyond32Bits", "1.3.4294967296 integer 1", "is not an OID"},
        BadCase{"NoType", "1.3.6.1.3", "missing type"},
        BadCase{"UnknownType", "1.3.6.1.3 ipaddress 10.0.0.1", "unknown type 'ipaddress'"},
        BadCase{"NoValue", "1.3.6.1.3 counter64", "missing value for counter64"},
        BadCase{"NoString", "1.3.6.1.3 string", "write \"\" for none"},
        BadCase{"IntegerWithText", "1.3.6.1.3 integer 12abc", "'12abc' is not a valid integer"},
        BadCase{"IntegerTooLarge", "1.3.6.1.3 integer 9223372036854775808",
                "is not a valid integer"},
        BadCase{"NegativeCounter", "1.3.6.1.3 counter32 -1", "'-1' is not a valid counter32"},
        BadCase{"Counter32TooLarge", "1.3.6.1.3 counter32 4294967296", "0 to 4294967295"},
        BadCase{"TwoNumbers", "1.3.6.1.3 gauge32 1 2", "'1 2' is not a valid gauge32"},
        BadCase{"Counter64TooLarge", "1.3.6.1.3 counter64 18446744073709551616",
                "is not a valid counter64"},
        BadCase{"BadOidValue", "1.3.6.1.3 oid 1.3.x", "'1.3.x' is not a valid oid"},
        BadCase{"NullWithValue", "1.3.6.1.3 null 0", "null takes no value"},
        BadCase{"UnterminatedQuote", R"(1.3.6.1.3 string "eth0)", "no closing quote"},
        BadCase{"TextAfterQuote", R"(1.3.6.1.3 string "eth0" x)", "after the closing quote"},
        BadCase{"UnknownEscape", R"(1.3.6.1.3 string "a\qb")", "unknown escape"},
        BadCase{"ShortHexEscape", R"(1.3.6.1.3 string "a\x4")", "unknown escape"},
        BadCase{"Duplicate", "1.3.6.1.1 integer 5", "1.3.6.1.1 is already set on line 3"}),
    [](const testing::TestParamInfo<BadCase>& testCase) { return testCase.param.name; });

TEST(TableFileTest, ReportsEveryBadLine) {
  const auto parsed = TableFile::parse("1 x\n1.3 integer 1\n1.3 integer x\n\n1.4 nope\n");
  ASSERT_EQ(parsed.errors.size(), 3U);
  EXPECT_EQ(parsed.errors[0].line, 1U);
  EXPECT_EQ(parsed.errors[1].line, 3U);
  EXPECT_EQ(parsed.errors[2].line, 5U);
  EXPECT_EQ(parsed.table.size(), 1U);
}

TEST(TableFileTest, CommentsAndBlankLinesOnly) {
  const auto parsed = TableFile::parse("# nothing\n   # indented\n\n\t\n");
  EXPECT_TRUE(parsed.errors.empty());
  EXPECT_TRUE(parsed.table.empty());
}

TEST(TableFileTest, LastLineWithoutNewline) {
  const auto parsed = TableFile::parse("1.3.6.1 integer 1\n1.3.6.2 integer 2");
  EXPECT_TRUE(parsed.errors.empty());
  EXPECT_EQ(parsed.table.size(), 2U);
}

TEST(TableFileTest, LoadsAFile) {
  const test::TemporaryFolder folder;
  const auto path = folder.path() / "table.txt";
  std::ofstream(path) << "1.3.6.1.2.1.31.1.1.1.1.3 string wan\n";
  const auto parsed = TableFile::load(path);
  EXPECT_TRUE(parsed.errors.empty());
  EXPECT_EQ(*parsed.table.find({1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1, 3}),
            AgentValue::octetString("wan"));
}

TEST(TableFileTest, MissingFileIsOneErrorWithoutLine) {
  const auto parsed = TableFile::load("/nonexistent/pulsewell/table.txt");
  ASSERT_EQ(parsed.errors.size(), 1U);
  EXPECT_EQ(parsed.errors[0].line, 0U);
  EXPECT_EQ(parsed.errors[0].text(), "cannot read /nonexistent/pulsewell/table.txt");
}

TEST(TableFileTest, DirectoryIsNotATableFile) {
  const test::TemporaryFolder folder;
  const auto parsed = TableFile::load(folder.path());
  ASSERT_EQ(parsed.errors.size(), 1U);
  EXPECT_NE(parsed.errors[0].message.find("is a directory"), std::string::npos);
}

}  // namespace
}  // namespace pulsewell
