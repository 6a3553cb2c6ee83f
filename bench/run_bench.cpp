// Times "Start Converting" on the real window (offscreen, the half-second
// pause taken by a clock that jumps) against delvora-convert on the same
// inputs: 200 small files, one file of 100 MB, and a list of 100,000 small
// files (given to delvora-convert as their folder). The window's run should
// take at most 1.5 times as long as the command line.
//
//   run_bench [--small N] [--big-mb M] [--listed L] [--repeat R]

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "bench_timing.h"
#include "platform/qt_seams.h"

namespace {

namespace fs = std::filesystem;
using delvora::Form1;

class QuietBoxes : public delvora::MessageBoxes {
 public:
  delvora::MsgAnswer Show(QWidget*, const QString& text, const QString&, delvora::MsgButtons,
                          delvora::MsgIcon) override {
    if (text != QStringLiteral("Done.")) ++failures;
    return delvora::MsgAnswer::kOk;
  }
  int failures = 0;
};

// Waiting moves the time forward at once: the pause costs nothing.
class JumpingClock : public delvora::Clock {
 public:
  double SecondsSinceMidnight() override { return now_; }
  void WaitUpTo(double seconds) override { now_ += seconds; }

 private:
  double now_ = 3600.0;
};

void WriteLines(const fs::path& path, std::size_t bytes) {
  std::ofstream out(path, std::ios::binary);
  const std::string line = "2024-05-01,Quorvane Ltd,4711,\"Main Street, 12\",19.95,EUR,ok\r\n";
  for (std::size_t written = 0; written < bytes; written += line.size()) out << line;
}

using delvora::bench::Median;
using delvora::bench::Seconds;

struct Result {
  double window = 0;
  double cli = 0;
};

// cli_paths: what delvora-convert is given for the same inputs (their
// folder, where a command line could not hold them all); the inputs when
// empty.
Result Compare(const QString& cli, const std::vector<fs::path>& inputs, const fs::path& work,
               int repeat, const QStringList& cli_paths = {}) {
  const fs::path window_out = work / "window-out";
  const fs::path cli_out = work / "cli-out";
  fs::create_directories(window_out);
  fs::create_directories(cli_out);

  QuietBoxes boxes;
  JumpingClock clock;
  delvora::QtPump pump;
  delvora::SettingsStore settings(QString::fromStdString((work / "settings.ini").string()));
  delvora::Seams seams;
  seams.message_boxes = &boxes;
  seams.clock = &clock;
  seams.pump = &pump;
  seams.settings = &settings;
  seams.program_folder = QCoreApplication::applicationDirPath();
  Form1 form(seams);
  form.Option1->setChecked(true);
  form.Option6->setChecked(true);
  form.Text1->setText(QString::fromStdString(window_out.string()));
  QStringList arguments{"-q", "--out", QString::fromStdString(cli_out.string())};
  QStringList listed;
  for (const fs::path& input : inputs) listed << QString::fromStdString(input.string());
  form.List().AddMany(listed);
  arguments << (cli_paths.isEmpty() ? listed : cli_paths);

  std::vector<double> window_times;
  std::vector<double> cli_times;
  const auto run_window = [&] { form.PushButton7_Click(); };
  const auto run_cli = [&] {
    if (QProcess::execute(cli, arguments) != 0) std::fprintf(stderr, "delvora-convert failed\n");
  };
  // One untimed round each, so that both find the inputs in the page cache
  // and an older output to replace; then alternate who goes first.
  run_window();
  run_cli();
  for (int i = 0; i < repeat; ++i) {
    if (i % 2 == 0) {
      window_times.push_back(Seconds(run_window));
      cli_times.push_back(Seconds(run_cli));
    } else {
      cli_times.push_back(Seconds(run_cli));
      window_times.push_back(Seconds(run_window));
    }
  }
  if (boxes.failures != 0)
    std::fprintf(stderr, "the window reported %d failures\n", boxes.failures);
  return {Median(window_times), Median(cli_times)};
}

bool Report(const char* what, const Result& result) {
  const double ratio = result.window / result.cli;
  std::printf("%-28s window %8.1f ms   delvora-convert %8.1f ms   ratio %.2f (goal <= 1.50)\n",
              what, result.window * 1000, result.cli * 1000, ratio);
  return ratio <= 1.5;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int small = 200;
  int big_mb = 100;
  int listed = 100000;
  int repeat = 5;
  const QStringList args = QCoreApplication::arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--small") small = args[i + 1].toInt();
    if (args[i] == "--big-mb") big_mb = args[i + 1].toInt();
    if (args[i] == "--listed") listed = args[i + 1].toInt();
    if (args[i] == "--repeat") repeat = std::max(1, args[i + 1].toInt());
  }
#ifdef _WIN32
  const QString cli_name = QStringLiteral("delvora-convert.exe");
#else
  const QString cli_name = QStringLiteral("delvora-convert");
#endif
  const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(cli_name);
  if (!QFile::exists(cli)) {
    std::fprintf(stderr, "delvora-convert not found beside run_bench\n");
    return 2;
  }

  const fs::path work = fs::temp_directory_path() /
                        ("delvora-run-bench-" + std::to_string(QCoreApplication::applicationPid()));
  fs::create_directories(work / "small");
  fs::create_directories(work / "big");
  std::vector<fs::path> small_inputs;
  for (int i = 0; i < small; ++i) {
    small_inputs.push_back(work / "small" / ("part" + std::to_string(i) + ".csv"));
    WriteLines(small_inputs.back(), 4096);
  }
  const fs::path big = work / "big" / "large.csv";
  WriteLines(big, static_cast<std::size_t>(big_mb) * 1024 * 1024);

  // The long list: 100 files a folder, every name its own.
  std::vector<fs::path> listed_inputs;
  for (int i = 0; i < listed; ++i) {
    const fs::path folder = work / "listed" / "in" / ("folder-" + std::to_string(i / 100));
    if (i % 100 == 0) fs::create_directories(folder);
    listed_inputs.push_back(folder / ("item" + std::to_string(i) + ".csv"));
    WriteLines(listed_inputs.back(), 256);
  }

  bool met = true;
  met &= Report((std::to_string(small) + " small files").c_str(),
                Compare(cli, small_inputs, work / "small", repeat));
  met &= Report(("one file of " + std::to_string(big_mb) + " MB").c_str(),
                Compare(cli, {big}, work / "big", repeat));
  if (listed > 0) {
    met &= Report((std::to_string(listed) + " listed files").c_str(),
                  Compare(cli, listed_inputs, work / "listed", std::min(repeat, 3),
                          {QString::fromStdString((work / "listed" / "in").string())}));
  }
  std::error_code ignored;
  fs::remove_all(work, ignored);
  return met ? 0 : 1;
}
