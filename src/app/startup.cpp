#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "delvora_install.h"
#include "platform/qt_seams.h"

namespace delvora {

Seams DesktopSeams::Bind(SettingsStore& settings, const QString& program_folder) {
  Seams seams;
  seams.message_boxes = &message_boxes;
  seams.file_dialog = &file_dialog;
  seams.folder_picker = &folder_picker;
  seams.shell = &shell;
  seams.clock = &clock;
  seams.random = &random;
  seams.pump = &pump;
  seams.settings = &settings;
  seams.program_folder = program_folder;
  return seams;
}

namespace {

// Where the skin, pointers and samples are: installed, in the data folder
// the install put them in; in a build tree and on Windows, beside the
// executable.
QString ProgramFolder() {
  const QDir program(QCoreApplication::applicationDirPath());
  const QString installed =
      QDir::cleanPath(program.filePath(QString::fromLatin1(kDataFromProgram)));
  return QDir::toNativeSeparators(QFileInfo(installed).isDir() ? installed : program.path());
}

}  // namespace

int RunDelvora(QApplication& app, StartupMode mode) {
  DesktopSeams desktop;
  SettingsStore settings;
  const Seams seams = desktop.Bind(settings, ProgramFolder());

  Form1 window(seams);
  window.Form_Load();
  window.show();
  if (mode == StartupMode::kQuitWhenShown) {
    // The first paint of the window is what the user sees.
    new EventHook(&window, [](QObject*, QEvent* event) {
      if (event->type() == QEvent::Paint) {
        QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::quit(); });
      }
      return false;
    });
  }
  return app.exec();
}

}  // namespace delvora
