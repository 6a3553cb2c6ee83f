#include <gtest/gtest.h>

#include <QApplication>

// Leaks inside the font and desktop-bus libraries are not ours; the leak
// checker is told so here so that it also holds when the test list is
// discovered at build time. Qt itself is not excused: a suppression matches
// any frame of a stack, and nearly every widget we create has Qt frames.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libglib\nleak:libdbus\nleak:libfreetype\n";
}

int main(int argc, char** argv) {
  // GUI tests drive the real widgets without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
