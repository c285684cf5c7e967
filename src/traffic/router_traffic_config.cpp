#include "traffic/router_traffic_config.h"

#include <utility>

#include "traffic/settings_table.h"

namespace pulsewell {

std::optional<RouterTrafficConfig> RouterTrafficConfig::fromDefaults(
    const DefaultsStore& defaults, const std::optional<std::string>& community) {
  auto checked = check(defaults, community);
  if (auto* config = std::get_if<RouterTrafficConfig>(&checked)) return std::move(*config);
  return std::nullopt;
}

std::variant<RouterTrafficConfig, RouterConfigProblem> RouterTrafficConfig::check(
    const DefaultsStore& defaults, const std::optional<std::string>& community) {
  // A port stored as anything but a whole number (text, a fraction, a boolean) counts as
  // absent.
  auto checked =
      checkConnection(settingText(defaults, Setting::routerHost),
                      settingNumber(defaults, Setting::routerPort), community.value_or(""));
  auto* connection = std::get_if<RouterConnection>(&checked);
  if (!connection) return std::get<RouterConfigProblem>(checked);
  return RouterTrafficConfig{std::move(connection->host), connection->port,
                             std::move(connection->community),
                             settingText(defaults, Setting::routerInterface),
                             settingFlag(defaults, Setting::routerSwapDirections)};
}

}  // namespace pulsewell
