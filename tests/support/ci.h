#pragma once

#include <cstdlib>
#include <string_view>

namespace pulsewell::test {

// In CI (CI=true) a test that lacks what it needs fails instead of being skipped: there a
// missing tool or system feature is a fault, not silently less testing.
inline bool runningInCI() {
  const char* ci = std::getenv("CI");  // NOLINT(concurrency-mt-unsafe): no test sets it
  return ci != nullptr && std::string_view(ci) == "true";
}

}  // namespace pulsewell::test
