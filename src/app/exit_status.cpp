#include "app/exit_status.h"

namespace pulsewell {

int exitStatusFor(RouterTrafficStatus status) {
  switch (status) {
    case RouterTrafficStatus::up:
    case RouterTrafficStatus::down:
      return exitSuccess;
    case RouterTrafficStatus::notConfigured:
      return exitNotConfigured;
    // Still waiting counts as no answer: nothing was read.
    case RouterTrafficStatus::connecting:
    case RouterTrafficStatus::noReply:
    case RouterTrafficStatus::unreachable:
      return exitNoAnswer;
    case RouterTrafficStatus::denied:
    case RouterTrafficStatus::invalidReply:
    case RouterTrafficStatus::interfaceNotFound:
    case RouterTrafficStatus::noCounters:
      return exitBadAnswer;
  }
  return exitBadAnswer;
}

}  // namespace pulsewell
