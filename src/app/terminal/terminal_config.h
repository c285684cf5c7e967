#pragma once

#include <optional>
#include <string>
#include <variant>

#include "app/terminal/terminal_options.h"
#include "traffic/defaults_store.h"
#include "traffic/file_problem.h"
#include "traffic/router_traffic_config.h"

namespace pulsewell {

struct TerminalSettings {
  RouterTrafficConfig config;
  bool inBits = false;
  std::int64_t downLineSpeed = 0;
  std::int64_t upLineSpeed = 0;
};

// What is missing or wrong, worded for the user.
struct TerminalConfigProblem {
  std::string message;
};

// The stored settings with this run's overrides laid over them, checked by the same rules
// as the panel's. `needInterface` is false for listing interfaces. `unreadable` tells why
// the stored settings could not be read, if so: a missing address or interface, which they
// would have given, is then put down to that.
std::variant<TerminalSettings, TerminalConfigProblem> terminalSettings(
    const TerminalOptions& options, const DefaultsStore& stored,
    const std::optional<std::string>& community, bool needInterface,
    const std::optional<FileProblem>& unreadable = std::nullopt);

}  // namespace pulsewell
