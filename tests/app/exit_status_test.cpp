#include "app/exit_status.h"

#include <gtest/gtest.h>

#include <vector>

namespace pulsewell {
namespace {

// The table pulsewell(1) gives scripts: success for any reading of the interface, one status
// when nothing came back, another when what came back was of no use.
TEST(ExitStatus, EachReadingEndsWithTheDocumentedStatus) {
  using enum RouterTrafficStatus;
  const std::vector<std::pair<RouterTrafficStatus, int>> cases = {
      {up, 0},          {down, 0},   {notConfigured, 3}, {connecting, 4},        {noReply, 4},
      {unreachable, 4}, {denied, 5}, {invalidReply, 5},  {interfaceNotFound, 5}, {noCounters, 5},
  };
  for (const auto& [status, expected] : cases) {
    EXPECT_EQ(exitStatusFor(status), expected) << static_cast<int>(status);
  }
}

}  // namespace
}  // namespace pulsewell
