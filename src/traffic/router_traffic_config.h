#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "snmp/snmp_client.h"
#include "traffic/connection_check.h"
#include "traffic/defaults_store.h"

namespace pulsewell {

// The validated connection record the service polls with.
struct RouterTrafficConfig {
  std::string host;
  std::uint16_t port = SNMPClient::standardPort;
  std::string community;
  std::string interface;
  bool swapDirections = false;

  bool operator==(const RouterTrafficConfig&) const = default;

  // Built from the stored settings and the community; none when they are unusable.
  static std::optional<RouterTrafficConfig> fromDefaults(
      const DefaultsStore& defaults, const std::optional<std::string>& community);
  // The connection rules of checkConnection, naming the first that fails.
  static std::variant<RouterTrafficConfig, RouterConfigProblem> check(
      const DefaultsStore& defaults, const std::optional<std::string>& community);
};

}  // namespace pulsewell
