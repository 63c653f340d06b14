#include <gtest/gtest.h>

#include <QApplication>

// The main() of every widget test program: one QApplication for the whole program.
int main(int argc, char** argv) {
  // Listing the tests happens without the test environment; without a display, draw offscreen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
