// Times "Add All CSV File(s) In Folder" on a generated tree of 10,000
// folders and 100,000 files against `find DIR -iname '*.csv'` on the same
// tree (warm cache, median of several runs). Goal: at most 3 times find.
// Two figures: the selection alone (no window), and the real window adding
// the entries to its list while processing its messages.
//
//   walk_bench [--tops N] [--per-top M] [--files F] [--repeat R] [--keep DIR]

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "app/startup.h"
#include "bench_timing.h"
#include "filelist/folder_walk.h"

namespace {

namespace fs = std::filesystem;

class QuietBoxes : public delvora::MessageBoxes {
 public:
  delvora::MsgAnswer Show(QWidget*, const QString&, const QString&, delvora::MsgButtons,
                          delvora::MsgIcon) override {
    ++shown;
    return delvora::MsgAnswer::kOk;
  }
  int shown = 0;
};

class FixedPicker : public delvora::FolderPicker {
 public:
  explicit FixedPicker(QString folder) : folder_(std::move(folder)) {}
  QString BrowseForFolder(QWidget*, const QString&, const QString&) override { return folder_; }

 private:
  QString folder_;
};

class NoPump : public delvora::Pump {
 public:
  void ProcessPendingMessages() override {}
};

class Reporter : public delvora::ErrorReporter {
 public:
  void ReportError(const delvora::AppError& error, std::string_view, int step) override {
    std::fprintf(stderr, "error %d at %d: %s\n", error.number(), step, error.description().c_str());
  }
};

using delvora::bench::Median;
using delvora::bench::Seconds;

// tops folders, each with per_top - 1 subfolders; files_per_folder files in
// every folder: mostly ".csv" in mixed case, some other files and "~" files.
std::size_t MakeTree(const fs::path& root, int tops, int per_top, int files_per_folder) {
  static const char* const kNames[] = {"sales.csv",  "Orders.CSV", "notes.txt", "~$lock.csv",
                                       "export.Csv", "readme.md",  "q1.csv",    "q2.csv",
                                       "q3.csv",     "q4.csv"};
  std::size_t files = 0;
  const auto fill = [&](const fs::path& folder) {
    fs::create_directories(folder);
    for (int i = 0; i < files_per_folder; ++i) {
      // The number goes after the first letter, so "~" names keep their mark.
      const std::string name = kNames[i % 10];
      std::ofstream(folder / (name.substr(0, 1) + std::to_string(i / 10) + name.substr(1)))
          << "a,b\r\n";
      ++files;
    }
  };
  for (int t = 0; t < tops; ++t) {
    const fs::path top = root / ("dept-" + std::to_string(t));
    fill(top);
    for (int s = 1; s < per_top; ++s) fill(top / ("month-" + std::to_string(s)));
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  int tops = 100;
  int per_top = 100;
  int files_per_folder = 10;
  int repeat = 5;
  std::string keep;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--tops") tops = std::atoi(argv[i + 1]);
    if (option == "--per-top") per_top = std::atoi(argv[i + 1]);
    if (option == "--files") files_per_folder = std::atoi(argv[i + 1]);
    if (option == "--repeat") repeat = std::atoi(argv[i + 1]);
    if (option == "--keep") keep = argv[i + 1];
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  const fs::path work = keep.empty() ? fs::temp_directory_path() /
                                           ("delvora-walk-bench-" + std::to_string(::getpid()))
                                     : fs::path(keep);
  const fs::path tree = work / "tree";
  fs::create_directories(work);
  std::printf("making %d folders with %d files each...\n", tops * per_top, files_per_folder);
  const std::size_t files = MakeTree(tree, tops, per_top, files_per_folder);

  const std::string find = "find '" + tree.string() + "' -iname '*.csv' > /dev/null";
  if (std::system(find.c_str()) != 0) return 1;  // warms the cache too
  std::vector<double> find_times;
  std::vector<double> walk_times;
  std::vector<double> window_times;
  std::size_t selected = 0;
  int window_entries = 0;

  NoPump no_pump;
  Reporter reporter;
  QuietBoxes boxes;
  FixedPicker picker(QString::fromStdString(tree.string()));
  delvora::DesktopSeams desktop;
  delvora::SettingsStore settings(QString::fromStdString((work / "settings.ini").string()));
  delvora::Seams seams = desktop.Bind(settings, QString::fromStdString(work.string()));
  seams.message_boxes = &boxes;
  seams.folder_picker = &picker;

  for (int r = 0; r < repeat; ++r) {
    find_times.push_back(Seconds([&] {
      if (std::system(find.c_str()) != 0) std::exit(1);
    }));
    walk_times.push_back(Seconds([&] {
      selected = delvora::CollectFolderFiles(tree.string(), "*.csv", reporter, no_pump).size();
    }));
    delvora::Form1 window(seams);
    window_times.push_back(Seconds([&] { window.PushButton9->click(); }));
    window_entries = window.List().Count();
  }

  const double find_s = Median(find_times);
  const double walk_s = Median(walk_times);
  const double window_s = Median(window_times);
  std::printf("tree: %d folders, %zu files; %zu selected (window: %d)\n", tops * per_top, files,
              selected, window_entries);
  std::printf("find -iname '*.csv'     %8.3f s\n", find_s);
  std::printf("selection (no window)   %8.3f s  %5.2fx find\n", walk_s, walk_s / find_s);
  std::printf("window adds to its list %8.3f s  %5.2fx find  (goal <= 3x: %s)\n", window_s,
              window_s / find_s, window_s <= 3 * find_s ? "met" : "missed");
  if (boxes.shown != 0) std::printf("%d message boxes were shown\n", boxes.shown);
  if (keep.empty()) fs::remove_all(work);
  return window_s <= 3 * find_s ? 0 : 1;
}
