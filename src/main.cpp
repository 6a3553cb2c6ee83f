#include <QApplication>
#include <QDir>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "platform/qt_seams.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  delvora::QtMessageBoxes boxes;
  delvora::QtFileDialog file_dialog;
  delvora::QtFolderPicker folder_picker;
  delvora::QtShell shell;
  delvora::QtClock clock;
  delvora::QtRandom random;
  delvora::QtPump pump;
  delvora::SettingsStore settings;

  delvora::Seams seams;
  seams.message_boxes = &boxes;
  seams.file_dialog = &file_dialog;
  seams.folder_picker = &folder_picker;
  seams.shell = &shell;
  seams.clock = &clock;
  seams.random = &random;
  seams.pump = &pump;
  seams.settings = &settings;
  seams.program_folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());

  delvora::Form1 window(seams);
  window.Form_Load();
  window.show();
  return app.exec();
}
