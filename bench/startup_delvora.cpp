// Starts Delvora exactly as the real executable does and ends at the first
// paint of its window. Timed by bench/startup.sh against startup_empty.

#include <QApplication>

#include "app/startup.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  return delvora::RunDelvora(app, delvora::StartupMode::kQuitWhenShown);
}
