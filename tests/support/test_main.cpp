// The main of every non-Qt test: a fixed environment, then GoogleTest.
#include <gtest/gtest.h>

#include "test_environment.h"

int main(int argc, char** argv) {
  pulsewell::test::useTestEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
