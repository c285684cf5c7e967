#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "traffic/defaults_store.h"

namespace pulsewell {

// The first stored-settings rule that failed, so a caller can say what is missing.
enum class RouterConfigProblem { noHost, hostHasWhitespace, noCommunity, portOutOfRange };

// The validated connection record the service polls with.
struct RouterTrafficConfig {
  std::string host;
  std::uint16_t port = 161;
  std::string community;
  std::string interface;
  bool swapDirections = false;

  bool operator==(const RouterTrafficConfig&) const = default;

  // Built from the stored settings and the community; none when they are unusable.
  static std::optional<RouterTrafficConfig> fromDefaults(
      const DefaultsStore& defaults, const std::optional<std::string>& community);
  // The same checks in the same order, naming the first rule that fails.
  static std::variant<RouterTrafficConfig, RouterConfigProblem> check(
      const DefaultsStore& defaults, const std::optional<std::string>& community);
};

}  // namespace pulsewell
