#include "test_environment.h"

#include <cstdlib>

namespace pulsewell::test {

void useTestEnvironment() {
  // NOLINTBEGIN(concurrency-mt-unsafe): runs in main before any thread starts
  ::setenv("LANG", "C.UTF-8", 1);
  ::setenv("LC_ALL", "C.UTF-8", 1);
  ::unsetenv("LANGUAGE");
  ::unsetenv("LC_MESSAGES");
  ::unsetenv("LC_NUMERIC");
  // NOLINTEND(concurrency-mt-unsafe)
}

}  // namespace pulsewell::test
