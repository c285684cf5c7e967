#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "snmp/snmp_client.h"
#include "traffic/defaults_store.h"

namespace pulsewell {

// Every setting the program stores.
enum class Setting {
  routerHost,
  routerPort,
  routerInterface,
  routerSwapDirections,
  routerLineSpeed,
  routerLineSpeedUp,
  speedInBits,
  menuBarGraph,
  panelEntry,
};

// A setting's stored name and its default; the default's type is the setting's type.
struct SettingSpec {
  Setting setting;
  const char* name;
  std::variant<std::string_view, std::int64_t, bool> fallback;
};

// The one table of settings, in the order of `Setting`.
inline constexpr std::array<SettingSpec, 9> settingsTable{{
    {Setting::routerHost, "routerHost", std::string_view()},
    {Setting::routerPort, "routerPort", std::int64_t{SNMPClient::standardPort}},
    {Setting::routerInterface, "routerInterface", std::string_view()},
    {Setting::routerSwapDirections, "routerSwapDirections", false},
    {Setting::routerLineSpeed, "routerLineSpeed", std::int64_t{0}},
    {Setting::routerLineSpeedUp, "routerLineSpeedUp", std::int64_t{0}},
    {Setting::speedInBits, "speedInBits", false},
    // "off", "beside" or "behind": the panel's small graph.
    {Setting::menuBarGraph, "menuBarGraph", std::string_view("beside")},
    // "automatic", "label", "wide" or "square": the form of the panel entry.
    {Setting::panelEntry, "panelEntry", std::string_view("automatic")},
}};

constexpr const SettingSpec& settingSpec(Setting setting) {
  return settingsTable[static_cast<std::size_t>(setting)];
}

static_assert(
    [] {
      for (std::size_t row = 0; row < settingsTable.size(); ++row) {
        if (static_cast<std::size_t>(settingsTable[row].setting) != row) return false;
      }
      return true;
    }(),
    "the settings table lists every setting in the order of the enum");

// The stored names, for code that speaks to a store by key.
namespace SettingsKey {
inline constexpr const char* routerHost = settingSpec(Setting::routerHost).name;
inline constexpr const char* routerPort = settingSpec(Setting::routerPort).name;
inline constexpr const char* routerInterface = settingSpec(Setting::routerInterface).name;
inline constexpr const char* routerSwapDirections = settingSpec(Setting::routerSwapDirections).name;
inline constexpr const char* routerLineSpeed = settingSpec(Setting::routerLineSpeed).name;
inline constexpr const char* routerLineSpeedUp = settingSpec(Setting::routerLineSpeedUp).name;
inline constexpr const char* speedInBits = settingSpec(Setting::speedInBits).name;
inline constexpr const char* menuBarGraph = settingSpec(Setting::menuBarGraph).name;
inline constexpr const char* panelEntry = settingSpec(Setting::panelEntry).name;
}  // namespace SettingsKey

// The community the settings form offers before one is saved.
inline constexpr std::string_view defaultCommunity = "velmar";

// Typed reads: the stored (or registered) value when it has the setting's type, else the
// table's default. A whole number may be stored as a fraction without a fractional part.
std::string settingText(const DefaultsStore& defaults, Setting setting);
std::int64_t settingNumber(const DefaultsStore& defaults, Setting setting);
bool settingFlag(const DefaultsStore& defaults, Setting setting);
// The stored text alone, none when absent or not text: for settings whose absence means
// something of its own.
std::optional<std::string> storedText(const DefaultsStore& defaults, Setting setting);

// The default the application registers at launch, as a store holds it.
DefaultsValue settingDefault(Setting setting);

}  // namespace pulsewell
