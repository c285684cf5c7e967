// Runs the GoogleTest suite inside a QApplication so widget and image tests have a
// real (offscreen) platform.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
