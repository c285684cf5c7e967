#include "traffic/settings_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "traffic/memory_defaults_store.h"
#include "traffic/thread_name.h"

namespace pulsewell {
namespace {

TEST(SettingsTable, ReadsGiveTheTablesDefaultsForNothingOrTheWrongType) {
  MemoryDefaultsStore empty;
  EXPECT_EQ(settingNumber(empty, Setting::routerPort), 161);
  EXPECT_EQ(settingText(empty, Setting::menuBarGraph), "beside");
  EXPECT_EQ(settingText(empty, Setting::panelEntry), "automatic");
  EXPECT_EQ(settingText(empty, Setting::routerHost), "");
  EXPECT_FALSE(settingFlag(empty, Setting::speedInBits));
  EXPECT_EQ(storedText(empty, Setting::menuBarGraph), std::nullopt);

  MemoryDefaultsStore wrong({{SettingsKey::routerPort, std::string("8161")},
                             {SettingsKey::speedInBits, std::int64_t{1}},
                             {SettingsKey::routerHost, true}});
  EXPECT_EQ(settingNumber(wrong, Setting::routerPort), 161) << "a port stored as text";
  EXPECT_FALSE(settingFlag(wrong, Setting::speedInBits));
  EXPECT_EQ(settingText(wrong, Setting::routerHost), "");

  MemoryDefaultsStore stored({{SettingsKey::routerPort, 8161.0},
                              {SettingsKey::speedInBits, true},
                              {SettingsKey::menuBarGraph, std::string("off")}});
  EXPECT_EQ(settingNumber(stored, Setting::routerPort), 8161);
  EXPECT_TRUE(settingFlag(stored, Setting::speedInBits));
  EXPECT_EQ(settingText(stored, Setting::menuBarGraph), "off");
}

TEST(SettingsTable, TheRegisteredDefaultKeepsItsType) {
  EXPECT_EQ(settingDefault(Setting::menuBarGraph), DefaultsValue(std::string("beside")));
  EXPECT_EQ(settingDefault(Setting::routerPort), DefaultsValue(std::int64_t{161}));
  EXPECT_EQ(settingDefault(Setting::routerSwapDirections), DefaultsValue(false));
}

TEST(WorkerThreadName, DropsLeadingLabelsToFitFifteenBytes) {
  EXPECT_EQ(workerThreadName("poll"), "Pulsewell.poll");
  EXPECT_EQ(workerThreadName("fetch"), "Pulsewell.fetch");
  EXPECT_EQ(workerThreadName("probe"), "Pulsewell.probe");
  EXPECT_EQ(workerThreadName("a-very-long-role"), "a-very-long-rol");
}

}  // namespace
}  // namespace pulsewell
