#pragma once

#include <exception>

namespace pulsewell {

// The connection status shown everywhere in the program.
enum class RouterTrafficStatus {
  notConfigured,
  connecting,
  up,
  down,
  noReply,
  unreachable,
  denied,
  invalidReply,
  interfaceNotFound,
  noCounters,
};

// The one place where any error becomes a status.
RouterTrafficStatus routerTrafficStatus(const std::exception_ptr& error);

}  // namespace pulsewell
