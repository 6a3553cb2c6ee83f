#pragma once

// Everything modal or outside the process goes through one of these small
// interfaces, so that tests can script the answers and nothing blocks.

#include <QString>
#include <QStringList>

class QWidget;

namespace delvora {

enum class MsgIcon { kNone, kExclamation };
enum class MsgButtons { kOk, kYesNo };
enum class MsgAnswer { kOk, kYes, kNo };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual MsgAnswer Show(QWidget* owner, const QString& text, const QString& caption,
                         MsgButtons buttons, MsgIcon icon) = 0;
};

// The open-file dialog, driven with the settings the "Add CSV File(s)" button
// gives it. The answer is the dialog's FileName: "" on cancel, one full path,
// or the folder followed by each chosen name, separated by NUL characters.
// A selection longer than the dialog's buffer throws
// AppError(kErrDialogBufferTooSmall).
struct FileDialogRequest {
  QString file_name;
  int flags = 0;
  QString title;
  QString filter;
};

class FileDialog {
 public:
  virtual ~FileDialog() = default;
  virtual QString ShowOpen(QWidget* owner, const FileDialogRequest& request) = 0;
};

// A folder chooser: the chosen folder without a trailing separator (a root
// keeps its separator), or "" when the user cancels.
class FolderPicker {
 public:
  virtual ~FolderPicker() = default;
  virtual QString BrowseForFolder(QWidget* owner, const QString& title,
                                  const QString& initial_folder) = 0;
};

// Actions handed to the desktop. Programs are started with an argument
// vector, never through a shell command string.
class Shell {
 public:
  virtual ~Shell() = default;
  // False when nothing on this desktop opens folders (no file manager).
  virtual bool OpenFolder(const QString& folder) = 0;
  virtual void Launch(const QString& program, const QStringList& arguments) = 0;
  // The user's desktop folder without a trailing separator, or "" when it
  // cannot be resolved.
  virtual QString DesktopFolder() = 0;
};

// Time of day, and waiting while the window keeps processing its messages.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual double SecondsSinceMidnight() = 0;
  // Waits about this long (or less) in an event loop, processing messages.
  virtual void WaitUpTo(double seconds) = 0;
};

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual void Seed(double seed) = 0;
  // A uniform fraction in [0, 1).
  virtual double NextFraction() = 0;
};

}  // namespace delvora
