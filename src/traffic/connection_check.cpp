#include "traffic/connection_check.h"

#include <utility>

#include "traffic/text_whitespace.h"

namespace pulsewell {

std::variant<RouterConnection, RouterConfigProblem> checkConnection(std::string_view host,
                                                                    std::int64_t port,
                                                                    std::string_view community) {
  constexpr std::int64_t highestPort = 65535;
  std::string trimmedHost = TextWhitespace::trimmed(host);
  if (trimmedHost.empty()) return RouterConfigProblem::noHost;
  if (TextWhitespace::containsWhitespace(trimmedHost)) {
    return RouterConfigProblem::hostHasWhitespace;
  }
  if (community.empty()) return RouterConfigProblem::noCommunity;
  if (port <= 0 || port > highestPort) return RouterConfigProblem::portOutOfRange;
  return RouterConnection{std::move(trimmedHost), static_cast<std::uint16_t>(port),
                          std::string(community)};
}

}  // namespace pulsewell
