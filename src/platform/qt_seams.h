#pragma once

// The real implementations of the seams, on Qt and the desktop.

#include "platform/app_error.h"
#include "platform/seams.h"

namespace delvora {

class QtMessageBoxes : public MessageBoxes {
 public:
  MsgAnswer Show(QWidget* owner, const QString& text, const QString& caption, MsgButtons buttons,
                 MsgIcon icon) override;
};

class QtFileDialog : public FileDialog {
 public:
  QString ShowOpen(QWidget* owner, const FileDialogRequest& request) override;
};

class QtFolderPicker : public FolderPicker {
 public:
  QString BrowseForFolder(QWidget* owner, const QString& title,
                          const QString& initial_folder) override;
};

// The picker's answer in the form callers rely on: native separators, no
// trailing separator except on a root, "" for nothing chosen.
QString PickedFolderPath(const QString& chosen);

// The desktop folder when it exists, else the home folder.
QString DesktopOrHome(const QString& desktop, const QString& home);

class QtShell : public Shell {
 public:
  bool OpenFolder(const QString& folder) override;
  void Launch(const QString& program, const QStringList& arguments) override;
  QString DesktopFolder() override;
};

class QtClock : public Clock {
 public:
  double SecondsSinceMidnight() override;
  void WaitUpTo(double seconds) override;
};

class QtRandom : public RandomSource {
 public:
  void Seed(double seed) override;
  double NextFraction() override;

 private:
  unsigned long long state_ = 0x853c49e6748fea9bULL;
};

class QtPump : public Pump {
 public:
  void ProcessPendingMessages() override;
};

}  // namespace delvora
