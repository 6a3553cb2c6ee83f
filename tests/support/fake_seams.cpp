#include "support/fake_seams.h"

#include <QCoreApplication>
#include <QDir>
#include <filesystem>

#include "platform/app_error.h"

namespace delvora::testing {

MsgAnswer FakeMessageBoxes::Show(QWidget* /*owner*/, const QString& text, const QString& caption,
                                 MsgButtons buttons, MsgIcon icon) {
  shown.push_back({text, caption, buttons, icon});
  if (on_show) on_show(shown.back());
  if (buttons == MsgButtons::kOk) return MsgAnswer::kOk;
  if (answers.empty()) return MsgAnswer::kYes;
  const MsgAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

QStringList FakeMessageBoxes::Texts() const {
  QStringList texts;
  for (const ShownBox& box : shown) texts << box.text;
  return texts;
}

QString FakeFileDialog::ShowOpen(QWidget* owner, const FileDialogRequest& request) {
  requests.push_back(request);
  if (real != nullptr) return real->ShowOpen(owner, request);
  if (throw_buffer_too_small) {
    throw StandardError(kErrDialogBufferTooSmall);
  }
  return next_result;
}

QString FakeFolderPicker::BrowseForFolder(QWidget* owner, const QString& title,
                                          const QString& initial_folder) {
  calls.push_back({title, initial_folder});
  if (on_browse) on_browse(owner);
  if (results.empty()) return QString();
  QString result = results.front();
  results.pop_front();
  return result;
}

bool FakeShell::OpenFolder(const QString& folder) {
  if (open_fails) return false;
  opened_folders.push_back(folder);
  return true;
}

void FakeClock::WaitUpTo(double seconds) {
  ++waits;
  total_waited += seconds;
  now += seconds;
  QCoreApplication::processEvents();
}

void FakePump::ProcessPendingMessages() {
  ++calls;
  if (on_pump) on_pump();
  QCoreApplication::processEvents();
}

WindowHarness::WindowHarness() {
  std::filesystem::create_directories(temp.path() / "program");
  program_folder = QDir::toNativeSeparators(QString::fromStdString(temp.Utf8() + "/program"));
  settings_file = QString::fromStdString(temp.Utf8() + "/settings.ini");
  shell.desktop_folder = QDir::toNativeSeparators(QString::fromStdString(temp.Utf8() + "/Desktop"));
  settings_ = std::make_unique<SettingsStore>(settings_file);
}

WindowHarness::~WindowHarness() = default;

Form1& WindowHarness::Create() {
  Seams seams;
  seams.message_boxes = &boxes;
  seams.file_dialog = &file_dialog;
  seams.folder_picker = &folder_picker;
  seams.shell = &shell;
  seams.clock = &clock;
  seams.random = &random;
  seams.pump = &pump;
  seams.settings = settings_.get();
  seams.program_folder = program_folder;
  window_ = std::make_unique<Form1>(seams);
  return *window_;
}

Form1& WindowHarness::CreateAndLoad() {
  Create();
  window_->Form_Load();
  return *window_;
}

void WindowHarness::ReopenSettings() {
  window_.reset();
  settings_ = std::make_unique<SettingsStore>(settings_file);
}

}  // namespace delvora::testing
