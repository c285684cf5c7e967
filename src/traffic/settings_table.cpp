#include "traffic/settings_table.h"

namespace pulsewell {

std::string settingText(const DefaultsStore& defaults, Setting setting) {
  if (auto text = storedText(defaults, setting)) return std::move(*text);
  return std::string(std::get<std::string_view>(settingSpec(setting).fallback));
}

std::int64_t settingNumber(const DefaultsStore& defaults, Setting setting) {
  const auto stored = defaults.object(settingSpec(setting).name);
  if (stored) {
    if (const auto number = wholeNumber(*stored)) return *number;
  }
  return std::get<std::int64_t>(settingSpec(setting).fallback);
}

bool settingFlag(const DefaultsStore& defaults, Setting setting) {
  const auto stored = defaults.object(settingSpec(setting).name);
  if (stored) {
    if (const auto* flag = std::get_if<bool>(&*stored)) return *flag;
  }
  return std::get<bool>(settingSpec(setting).fallback);
}

std::optional<std::string> storedText(const DefaultsStore& defaults, Setting setting) {
  return defaults.string(settingSpec(setting).name);
}

DefaultsValue settingDefault(Setting setting) {
  return std::visit(
      [](const auto& fallback) -> DefaultsValue {
        using Type = std::decay_t<decltype(fallback)>;
        if constexpr (std::is_same_v<Type, std::string_view>) {
          return std::string(fallback);
        } else {
          return fallback;
        }
      },
      settingSpec(setting).fallback);
}

}  // namespace pulsewell
