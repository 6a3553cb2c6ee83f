#include <QApplication>
#include <gtest/gtest.h>

// Leaks inside system libraries (font configuration, Qt's own caches) are not
// ours; the leak checker is told so here so that it also holds when the test
// list is discovered at build time.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\n"
         "leak:libglib\nleak:libdbus\nleak:libfreetype\n";
}

int main(int argc, char** argv) {
  // GUI tests drive the real widgets without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
