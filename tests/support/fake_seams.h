#pragma once

// Test doubles for every seam, and a harness that builds the real window
// with a fresh settings store, a temporary program folder and a fake clock.

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "platform/seams.h"
#include "support/test_support.h"

namespace delvora::testing {

struct ShownBox {
  QString text;
  QString caption;
  MsgButtons buttons;
  MsgIcon icon;
};

class FakeMessageBoxes : public MessageBoxes {
 public:
  MsgAnswer Show(QWidget* owner, const QString& text, const QString& caption, MsgButtons buttons,
                 MsgIcon icon) override;
  std::vector<ShownBox> shown;
  // Answers for Yes/No boxes, used in order; kYes when none is left.
  std::deque<MsgAnswer> answers;
  // Runs while a box is "open" (to act inside a modal box, as a user could
  // click elsewhere only after closing it).
  std::function<void(const ShownBox&)> on_show;
  QStringList Texts() const;
};

class FakeFileDialog : public FileDialog {
 public:
  QString ShowOpen(QWidget* owner, const FileDialogRequest& request) override;
  std::vector<FileDialogRequest> requests;
  QString next_result;
  bool throw_buffer_too_small = false;
  FileDialog* real = nullptr;  // when set, shows this dialog instead
};

class FakeFolderPicker : public FolderPicker {
 public:
  QString BrowseForFolder(QWidget* owner, const QString& title,
                          const QString& initial_folder) override;
  struct Call {
    QString title;
    QString initial_folder;
  };
  std::vector<Call> calls;
  std::deque<QString> results;  // "" (cancel) when none is left
  // Runs while the picker is "open", to stand for a real modal window.
  std::function<void(QWidget* owner)> on_browse;
};

class FakeShell : public Shell {
 public:
  // Fails as a desktop without a file manager does when open_fails is set.
  bool OpenFolder(const QString& folder) override;
  void Launch(const QString& program, const QStringList& arguments) override {
    launched.push_back(QStringList{program} + arguments);
  }
  QString DesktopFolder() override { return desktop_folder; }
  QStringList opened_folders;
  std::vector<QStringList> launched;
  QString desktop_folder;
  bool open_fails = false;
};

// Time stands still unless something waits; waiting moves it forward at once.
class FakeClock : public Clock {
 public:
  double SecondsSinceMidnight() override { return now; }
  void WaitUpTo(double seconds) override;
  double now = 12 * 3600.0;
  double total_waited = 0;
  int waits = 0;
};

class FakeRandom : public RandomSource {
 public:
  void Seed(double seed) override { seeds.push_back(seed); }
  double NextFraction() override { return fraction; }
  double fraction = 0.5;  // draws 51
  std::vector<double> seeds;
};

class FakePump : public Pump {
 public:
  void ProcessPendingMessages() override;
  int calls = 0;
  std::function<void()> on_pump;
};

// Builds the real window over fakes. The settings store and program folder
// are fresh for every harness.
class WindowHarness {
 public:
  WindowHarness();
  ~WindowHarness();

  // Creates the window (not loaded, not shown).
  Form1& Create();
  // Creates it and runs Form_Load.
  Form1& CreateAndLoad();
  Form1& window() { return *window_; }
  SettingsStore& settings() { return *settings_; }
  // Replaces the settings store with one over the same file, as a restart
  // would see it.
  void ReopenSettings();

  TempDir temp;
  QString program_folder;  // temp/"program"
  QString settings_file;   // temp/"settings.ini"
  FakeMessageBoxes boxes;
  FakeFileDialog file_dialog;
  FakeFolderPicker folder_picker;
  FakeShell shell;
  FakeClock clock;
  FakeRandom random;
  FakePump pump;

 private:
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<Form1> window_;
};

}  // namespace delvora::testing
