#include "traffic/connection_check.h"

#include "traffic/text_whitespace.h"

namespace pulsewell {

std::optional<RouterConfigProblem> hostProblem(std::string_view host) {
  const std::string trimmedHost = TextWhitespace::trimmed(host);
  if (trimmedHost.empty()) return RouterConfigProblem::noHost;
  if (TextWhitespace::containsWhitespace(trimmedHost)) {
    return RouterConfigProblem::hostHasWhitespace;
  }
  return std::nullopt;
}

bool isUsablePort(std::int64_t port) {
  constexpr std::int64_t highestPort = 65535;
  return port >= 1 && port <= highestPort;
}

std::variant<RouterConnection, RouterConfigProblem> checkConnection(std::string_view host,
                                                                    std::int64_t port,
                                                                    std::string_view community) {
  if (const auto problem = hostProblem(host)) return *problem;
  if (community.empty()) return RouterConfigProblem::noCommunity;
  if (!isUsablePort(port)) return RouterConfigProblem::portOutOfRange;
  return RouterConnection{TextWhitespace::trimmed(host), static_cast<std::uint16_t>(port),
                          std::string(community)};
}

}  // namespace pulsewell
