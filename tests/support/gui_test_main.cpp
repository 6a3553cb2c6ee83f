#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

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
#if !defined(Q_OS_WIN)
  // Tests, and their listing at build time, run outside any desktop session:
  // a private runtime folder, gone with the run, instead of Qt's warning and
  // a shared fallback.
  std::optional<QTemporaryDir> runtime_folder;
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    runtime_folder.emplace();
    if (runtime_folder->isValid())
      qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_folder->path()));
  }
#endif
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
