#pragma once

// Starting the program: the real seams, the user's settings store, the
// window, its start-up sequence and the event loop.

class QApplication;

namespace delvora {

enum class StartupMode {
  kInteractive,
  // Ends as soon as the window has been shown and painted once (start-up
  // measurements).
  kQuitWhenShown,
};

int RunDelvora(QApplication& app, StartupMode mode);

}  // namespace delvora
