#pragma once

// Starting the program: the real seams, the user's settings store, the
// window, its start-up sequence and the event loop.

#include <QString>

#include "app/main_window.h"
#include "platform/qt_seams.h"

class QApplication;

namespace delvora {

// The real seams, owned together. Bind() hands them to a window with the
// given settings store and program folder.
struct DesktopSeams {
  QtMessageBoxes message_boxes;
  QtFileDialog file_dialog;
  QtFolderPicker folder_picker;
  QtShell shell;
  QtClock clock;
  QtRandom random;
  QtPump pump;

  Seams Bind(SettingsStore& settings, const QString& program_folder);
};

enum class StartupMode {
  kInteractive,
  // Ends as soon as the window has been shown and painted once (start-up
  // measurements).
  kQuitWhenShown,
};

int RunDelvora(QApplication& app, StartupMode mode);

}  // namespace delvora
