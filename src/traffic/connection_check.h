#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace pulsewell {

// The first connection rule that failed, so a caller can say what is missing.
enum class RouterConfigProblem { noHost, hostHasWhitespace, noCommunity, portOutOfRange };

// A device address, port and community that passed every rule.
struct RouterConnection {
  std::string host;
  std::uint16_t port = 0;
  std::string community;
};

// The one place that decides whether a connection can be polled, for the stored settings
// and the settings form alike: the host trimmed, non-empty and without inner blanks; a
// community (blanks are part of it: it is a password); a port from 1 to 65535. The rules
// are checked in that order and the first that fails is named.
// The host and port rules alone, for callers that take one value at a time.
std::optional<RouterConfigProblem> hostProblem(std::string_view host);
bool isUsablePort(std::int64_t port);

std::variant<RouterConnection, RouterConfigProblem> checkConnection(std::string_view host,
                                                                    std::int64_t port,
                                                                    std::string_view community);

}  // namespace pulsewell
