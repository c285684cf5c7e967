#include "agent/agent_table.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "agent/agent_value.h"
#include "snmp/if_mib.h"

namespace pulsewell {
namespace {

using IfMib::instance;

AgentTable twoInterfaces() {
  AgentTable table;
  table.setInterface({1, "lo", 100, 200, IfMib::operStatusUp, true});
  table.setInterface({5, "eth0", 5000, 6000, IfMib::operStatusDown, true});
  return table;
}

TEST(AgentTableTest, InterfaceRowFillsEveryColumn) {
  AgentTable table;
  table.setInterface({7, "wan", 0x1'0000'0005ULL, 42, 1, true});

  EXPECT_EQ(*table.find(instance(IfMib::ifIndex(), 7)), AgentValue::integer(7));
  EXPECT_EQ(*table.find(instance(IfMib::ifDescr(), 7)), AgentValue::octetString("wan"));
  EXPECT_EQ(*table.find(instance(IfMib::ifName(), 7)), AgentValue::octetString("wan"));
  EXPECT_EQ(*table.find(instance(IfMib::ifOperStatus(), 7)), AgentValue::integer(1));
  EXPECT_EQ(*table.find(instance(IfMib::ifHCInOctets(), 7)),
            AgentValue::counter64(0x1'0000'0005ULL));
  EXPECT_EQ(*table.find(instance(IfMib::ifHCOutOctets(), 7)), AgentValue::counter64(42));
  // A 32-bit counter shows the low 32 bits of the byte count, as it would after wrapping.
  EXPECT_EQ(*table.find(instance(IfMib::ifInOctets(), 7)), AgentValue::counter32(5));
  EXPECT_EQ(*table.find(instance(IfMib::ifOutOctets(), 7)), AgentValue::counter32(42));
  EXPECT_EQ(table.size(), 8U);
}

TEST(AgentTableTest, RowWithoutHighCapacityCountersLacksThem) {
  AgentTable table = twoInterfaces();
  table.setInterface({5, "eth0", 1, 2, 1, false});

  EXPECT_EQ(table.find(instance(IfMib::ifHCInOctets(), 5)), nullptr);
  EXPECT_EQ(table.find(instance(IfMib::ifHCOutOctets(), 5)), nullptr);
  EXPECT_NE(table.find(instance(IfMib::ifHCInOctets(), 1)), nullptr);
  EXPECT_EQ(*table.find(instance(IfMib::ifInOctets(), 5)), AgentValue::counter32(1));
}

TEST(AgentTableTest, NextWalksInOidOrderWithPrefixesFirst) {
  AgentTable table;
  table.set({1, 3, 6, 1, 10}, AgentValue::integer(3));
  table.set({1, 3, 6, 1, 2, 1}, AgentValue::integer(2));
  table.set({1, 3, 6, 1, 2}, AgentValue::integer(1));
  table.set({1, 3, 6, 1, 4294967295U}, AgentValue::integer(4));

  std::vector<std::int64_t> order;
  OID cursor{1, 3};
  while (const auto* entry = table.next(cursor)) {
    order.push_back(*entry->second.value().asInteger());
    cursor = entry->first;
  }
  EXPECT_EQ(order, (std::vector<std::int64_t>{1, 2, 3, 4}));
}

TEST(AgentTableTest, RefusesOidsThatCannotBeEncoded) {
  AgentTable table;
  EXPECT_THROW(table.set({1}, AgentValue::null()), std::invalid_argument);
  EXPECT_THROW(table.set({3, 1}, AgentValue::null()), std::invalid_argument);
  EXPECT_THROW(table.set({1, 40}, AgentValue::null()), std::invalid_argument);
  EXPECT_THROW(table.set({2, 4294967295U}, AgentValue::null()), std::invalid_argument);
  EXPECT_NO_THROW(table.set({2, 999}, AgentValue::null()));
  EXPECT_TRUE(table.find({2, 999}) != nullptr);
  EXPECT_EQ(table.size(), 1U);
}

TEST(AgentTableTest, MoveInterfaceRenumbersTheWholeRow) {
  AgentTable table = twoInterfaces();
  table.moveInterface(5, 12);

  EXPECT_EQ(table.find(instance(IfMib::ifName(), 5)), nullptr);
  EXPECT_EQ(table.find(instance(IfMib::ifHCInOctets(), 5)), nullptr);
  EXPECT_EQ(*table.find(instance(IfMib::ifName(), 12)), AgentValue::octetString("eth0"));
  EXPECT_EQ(*table.find(instance(IfMib::ifHCInOctets(), 12)), AgentValue::counter64(5000));
  EXPECT_EQ(*table.find(instance(IfMib::ifIndex(), 12)), AgentValue::integer(12));
  EXPECT_EQ(table.size(), 16U);
}

TEST(AgentTableTest, MoveInterfaceOntoAnotherRowReplacesIt) {
  AgentTable table = twoInterfaces();
  table.moveInterface(5, 1);

  EXPECT_EQ(*table.find(instance(IfMib::ifName(), 1)), AgentValue::octetString("eth0"));
  EXPECT_EQ(*table.find(instance(IfMib::ifOperStatus(), 1)), AgentValue::integer(2));
  EXPECT_EQ(table.size(), 8U);
}

TEST(AgentTableTest, ResetCountersSetsEveryOctetCounterToZero) {
  AgentTable table = twoInterfaces();
  table.resetCounters();

  for (const std::uint32_t index : {1U, 5U}) {
    EXPECT_EQ(*table.find(instance(IfMib::ifHCInOctets(), index)), AgentValue::counter64(0));
    EXPECT_EQ(*table.find(instance(IfMib::ifHCOutOctets(), index)), AgentValue::counter64(0));
    EXPECT_EQ(*table.find(instance(IfMib::ifInOctets(), index)), AgentValue::counter32(0));
    EXPECT_EQ(*table.find(instance(IfMib::ifOutOctets(), index)), AgentValue::counter32(0));
  }
  EXPECT_EQ(*table.find(instance(IfMib::ifName(), 5)), AgentValue::octetString("eth0"));
}

TEST(AgentTableTest, AddToCountersMovesEveryOctetCounterOnAndWraps32BitOnes) {
  AgentTable table;
  table.setInterface({1, "lo", 100, 200, IfMib::operStatusUp, true});
  table.setInterface({5, "eth0", 0xFFFF'FFF0ULL, 6000, IfMib::operStatusUp, true});
  table.addToCounters(0x20, 7);

  EXPECT_EQ(*table.find(instance(IfMib::ifHCInOctets(), 1)), AgentValue::counter64(132));
  EXPECT_EQ(*table.find(instance(IfMib::ifHCOutOctets(), 1)), AgentValue::counter64(207));
  EXPECT_EQ(*table.find(instance(IfMib::ifHCInOctets(), 5)),
            AgentValue::counter64(0x1'0000'0010ULL));
  EXPECT_EQ(*table.find(instance(IfMib::ifInOctets(), 5)), AgentValue::counter32(0x10));
  EXPECT_EQ(*table.find(instance(IfMib::ifOutOctets(), 5)), AgentValue::counter32(6007));
  EXPECT_EQ(*table.find(instance(IfMib::ifIndex(), 5)), AgentValue::integer(5));
}

TEST(AgentTableTest, RemovingHighCapacityCountersKeepsTheRest) {
  AgentTable table = twoInterfaces();
  table.removeHighCapacityCounters();

  EXPECT_EQ(table.size(), 12U);
  const OID afterNames = instance(IfMib::ifName(), 5);
  EXPECT_EQ(table.next(afterNames), nullptr);  // ifName was the last column left
}

TEST(AgentTableTest, RemoveColumnLeavesNeighbouringColumnsAlone) {
  AgentTable table = twoInterfaces();
  table.removeColumn(IfMib::ifName());

  const auto* next = table.next(IfMib::ifName());
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->first, instance(IfMib::ifHCInOctets(), 1));
  // ifDescr shares no prefix with ifName beyond the MIB; it stays.
  EXPECT_NE(table.find(instance(IfMib::ifDescr(), 5)), nullptr);
  EXPECT_EQ(table.size(), 14U);
}

}  // namespace
}  // namespace pulsewell
