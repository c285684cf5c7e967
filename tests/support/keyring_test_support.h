#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace pulsewell::test {

inline bool ciRun() {
  const char* value = std::getenv("CI");  // NOLINT(concurrency-mt-unsafe): one thread
  return value != nullptr && std::string(value) == "true";
}

// Set by scripts/with-keyring.sh once a private, unlocked keyring runs on the bus.
inline bool keyringRunning() {
  const char* value =
      std::getenv("PULSEWELL_TEST_KEYRING");  // NOLINT(concurrency-mt-unsafe): one thread
  return value != nullptr && std::string(value) == "1";
}

}  // namespace pulsewell::test

// Skips a test outside scripts/with-keyring.sh, and fails it there in CI.
#define REQUIRE_KEYRING()                                                                          \
  do {                                                                                             \
    if (!::pulsewell::test::keyringRunning()) {                                                    \
      if (::pulsewell::test::ciRun()) FAIL() << "no keyring: run through scripts/with-keyring.sh"; \
      GTEST_SKIP() << "no keyring: run through dbus-run-session -- "                               \
                      "scripts/with-keyring.sh";                                                   \
    }                                                                                              \
  } while (false)
