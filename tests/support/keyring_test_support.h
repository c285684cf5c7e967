#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#include "tests/support/ci.h"

namespace pulsewell::test {

// Set by scripts/with-keyring.sh once a private, unlocked keyring runs on the bus.
inline bool keyringRunning() {
  const char* value =
      std::getenv("PULSEWELL_TEST_KEYRING");  // NOLINT(concurrency-mt-unsafe): one thread
  return value != nullptr && std::string_view(value) == "1";
}

}  // namespace pulsewell::test

// Skips a test that needs the keyring when none runs; fails it in CI.
#define REQUIRE_KEYRING()                                                                    \
  do {                                                                                       \
    if (!::pulsewell::test::keyringRunning()) {                                              \
      if (::pulsewell::test::runningInCI()) {                                                \
        FAIL() << "no keyring: run through scripts/with-keyring.sh";                         \
      }                                                                                      \
      GTEST_SKIP() << "no keyring: run through dbus-run-session -- scripts/with-keyring.sh"; \
    }                                                                                        \
  } while (false)
