// Runs the GoogleTest suite inside a QApplication so widget and image tests have a
// real (offscreen) platform, from the same fixed environment as every other test.
#include <gtest/gtest.h>

#include <QApplication>

#include "test_environment.h"

int main(int argc, char** argv) {
  pulsewell::test::useTestEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
