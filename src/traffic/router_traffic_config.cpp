#include "traffic/router_traffic_config.h"

#include <cstdint>
#include <utility>

#include "traffic/text_whitespace.h"

namespace pulsewell {

std::optional<RouterTrafficConfig> RouterTrafficConfig::fromDefaults(
    const DefaultsStore& defaults, const std::optional<std::string>& community) {
  auto checked = check(defaults, community);
  if (auto* config = std::get_if<RouterTrafficConfig>(&checked)) return std::move(*config);
  return std::nullopt;
}

std::variant<RouterTrafficConfig, RouterConfigProblem> RouterTrafficConfig::check(
    const DefaultsStore& defaults, const std::optional<std::string>& community) {
  constexpr std::int64_t defaultPort = 161;
  constexpr std::int64_t highestPort = 65535;

  std::string host = defaults.string(SettingsKey::routerHost).value_or("");
  // Anything but a whole number (text, a fraction, a boolean) counts as absent.
  const auto stored = defaults.object(SettingsKey::routerPort);
  const std::int64_t port = stored ? wholeNumber(*stored).value_or(defaultPort) : defaultPort;
  const std::string secret = community.value_or("");
  std::string interface = defaults.string(SettingsKey::routerInterface).value_or("");
  const bool swapDirections = defaults.boolean(SettingsKey::routerSwapDirections);

  host = TextWhitespace::trimmed(host);
  if (host.empty()) return RouterConfigProblem::noHost;
  if (TextWhitespace::containsWhitespace(host)) return RouterConfigProblem::hostHasWhitespace;
  // The community is a password: blanks are part of it.
  if (secret.empty()) return RouterConfigProblem::noCommunity;
  if (port < 0 || port > highestPort) return RouterConfigProblem::portOutOfRange;
  if (port == 0) return RouterConfigProblem::portOutOfRange;

  return RouterTrafficConfig{std::move(host), static_cast<std::uint16_t>(port), secret,
                             std::move(interface), swapDirections};
}

}  // namespace pulsewell
