#pragma once

// A name service of the test's own, for tests of name lookups through the system's real
// resolver. Once, before the first test, the process moves into private user, mount and
// network namespaces, in which
//  - the network is a loopback of its own (127.0.0.1 and ::1, and nothing listening),
//  - /etc/hosts names `localhost` as Debian's own file does: ::1 and 127.0.0.1,
//  - DNS goes to 127.0.0.1:53, where a socket takes every query and answers none: a
//    resolver that never answers, for every name the hosts file does not know,
//  - /etc/nsswitch.conf looks in the hosts file first, then asks DNS.
// A test file registers it with testing::AddGlobalTestEnvironment.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace pulsewell::test {

class PrivateNameService : public testing::Environment {
 public:
  // A name only DNS could answer for.
  static constexpr const char* unansweredName = "router.pulsewell.test";

  // Runs before the first test, while the process has no other thread.
  void SetUp() override;

  // Empty once the process is inside; otherwise what failed.
  static const std::string& missing();
  // The queries the silent resolver has received since the last call.
  static std::size_t takeQueries();
};

// Skips (fails in CI) where the system gives no namespaces to this user.
class PrivateNameServiceTest : public testing::Test {
 protected:
  void SetUp() override;
};

}  // namespace pulsewell::test
