#include "conversion/conversion_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "conversion/delimiter.h"
#include "filelist/list_editing.h"
#include "support/test_support.h"

namespace delvora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kSep = kNativeSeparator;

// A window made of plain members; every visible effect goes into one log so
// that tests can check the order of things.
class FakeRunWindow : public RunWindow {
 public:
  bool IsConverting() override { return converting; }
  void SetConverting(bool value) override { converting = value; }
  int EntryCount() override { return static_cast<int>(entries.size()); }
  std::string EntryText(int position) override {
    return entries.at(static_cast<std::size_t>(position - 1));
  }
  bool DelimiterOptionSelected(int option) override {
    return delimiter_options.at(static_cast<std::size_t>(option - 1));
  }
  std::string OtherDelimiterText() override { return text2; }
  bool SaveToFolderSelected() override { return option6; }
  bool SaveBesideInputSelected() override { return option7; }
  std::string OutputFolderText() override { return text1; }
  void ShowHourglass() override { Log("hourglass"); }
  void ShowDefaultPointer() override { Log("default pointer"); }
  void SetProgressValue(int percent) override {
    Log("value " + std::to_string(percent));
    values.push_back(percent);
  }
  void SetProgressText(const std::string& text) override { Log("text " + text); }
  void ShowMessage(const std::string& text) override {
    Log("box " + text);
    messages.push_back(text);
  }
  ErrorReporter& Errors() override { return reporter; }
  void ProcessPendingMessages() override {
    ++pumps;
    if (on_pump) on_pump(pumps);
  }
  void Pause(double seconds) override { pauses.push_back(seconds); }
  bool Closing() override { return closing; }

  void Log(const std::string& line) { log.push_back(line); }

  bool converting = false;
  std::vector<std::string> entries;
  std::vector<bool> delimiter_options{true, false, false, false, false};
  std::string text2 = "|";
  bool option6 = true;
  bool option7 = false;
  std::string text1;
  bool closing = false;
  testing::RecordingReporter reporter;
  std::vector<std::string> log;
  std::vector<int> values;
  std::vector<std::string> messages;
  std::vector<double> pauses;
  int pumps = 0;
  // Runs where the window would process its messages (step 142); `pump` is
  // the 1-based number of the file being converted.
  std::function<void(int pump)> on_pump;
};

struct Call {
  std::string input;
  std::string output;
  std::string delimiter;
  bool operator==(const Call&) const = default;
};

// Records what the engine was asked to do instead of touching files.
struct RecordingEngine {
  std::vector<Call> calls;
  std::function<void(const Call&)> on_call;
  ConvertFunction Function() {
    return [this](const std::string& in, const std::string& out, const ConversionOptions& o) {
      calls.push_back({in, out, o.delimiter});
      if (on_call) on_call(calls.back());
    };
  }
};

std::string P(std::initializer_list<std::string> parts) {
  std::string path;
  for (const std::string& part : parts) {
    if (!path.empty()) path.push_back(kSep);
    path += part;
  }
  return path;
}

class ConversionRunTest : public ::testing::Test {
 protected:
  ConversionRunTest() { window.text1 = out.Utf8(); }
  void RunOnce() {
    ConversionRun run(window, RunSettings{0.5, kSep, engine.Function()});
    run.Start();
  }
  std::vector<std::string> Inputs() const {
    std::vector<std::string> inputs;
    for (const Call& call : engine.calls) inputs.push_back(call.input);
    return inputs;
  }

  testing::TempDir out;
  FakeRunWindow window;
  RecordingEngine engine;
};

TEST_F(ConversionRunTest, FourFilesShowAQuarterEachThenResetTheBarAndSayDone) {
  window.entries = {P({"", "in", "a.csv"}), P({"", "in", "b.csv"}), P({"", "in", "c.csv"}),
                    P({"", "in", "d.txt"})};
  RunOnce();
  EXPECT_EQ(window.values, (std::vector<int>{25, 50, 75, 100, 0}));
  ASSERT_EQ(engine.calls.size(), 4u);
  EXPECT_EQ(engine.calls[3], (Call{P({"", "in", "d.txt"}), P({out.Utf8(), "d.tsv"}), ","}));
  EXPECT_EQ(window.pauses, (std::vector<double>{0.5, 0.5, 0.5, 0.5}));
  EXPECT_EQ(window.pumps, 4);
  // The first file's steps, then the end of the run.
  EXPECT_THAT(std::vector<std::string>(window.log.begin(), window.log.begin() + 3),
              ElementsAre("hourglass", "value 25", "text Processing: a.csv"));
  EXPECT_THAT(std::vector<std::string>(window.log.end() - 4, window.log.end()),
              ElementsAre("default pointer", "value 0", "text Progress Bar", "box Done."));
  EXPECT_THAT(window.reporter.errors, IsEmpty());
  EXPECT_FALSE(window.converting);
  // The list is read, never changed.
  EXPECT_EQ(window.entries.size(), 4u);
}

TEST_F(ConversionRunTest, MissingEmptyOrFileValuedFolderStopsTheRunWhenSavingToAFolder) {
  window.entries = {P({out.Utf8(), "a.csv"})};
  testing::WriteFile(out / "plain.txt", "x");
  for (const std::string& folder :
       {std::string(), P({out.Utf8(), "missing"}), P({out.Utf8(), "plain.txt"})}) {
    SCOPED_TRACE(folder);
    window.log.clear();
    window.text1 = folder;
    RunOnce();
    EXPECT_THAT(window.log,
                ElementsAre("box Folder does not exist. Please select another folder."));
    EXPECT_FALSE(window.converting);
  }
  // Neither option selected: the folder is still checked.
  window.option6 = false;
  window.log.clear();
  RunOnce();
  EXPECT_THAT(window.log, ElementsAre("box Folder does not exist. Please select another folder."));
  EXPECT_THAT(engine.calls, IsEmpty());
}

TEST_F(ConversionRunTest, OutputLocationFollowsTheOptionsWhateverText1Holds) {
  window.entries = {P({"", "in", "report.final.csv"})};
  // Beside the input: Text1 may name nothing at all.
  window.option6 = false;
  window.option7 = true;
  window.text1 = "no such folder";
  RunOnce();
  // Neither option: the bare name, relative to the current folder.
  window.option7 = false;
  window.text1 = out.Utf8();
  RunOnce();
  // A folder ending in a separator does not double it.
  window.option6 = true;
  window.text1 = out.Utf8() + kSep;
  RunOnce();
  ASSERT_EQ(engine.calls.size(), 3u);
  EXPECT_EQ(engine.calls[0].output, P({"", "in", "report.final.tsv"}));
  EXPECT_EQ(engine.calls[1].output, "report.final.tsv");
  EXPECT_EQ(engine.calls[2].output, P({out.Utf8(), "report.final.tsv"}));
  EXPECT_THAT(window.messages, ElementsAre("Done.", "Done.", "Done."));
}

TEST_F(ConversionRunTest, DelimiterIsFixedForTheRunWhileTheFolderIsReadForEveryFile) {
  window.entries = {"a.csv", "b.csv"};
  window.delimiter_options = {false, false, false, false, true};
  window.text2 = " ; ";
  window.on_pump = [&](int file) {
    window.text2 = "#";
    window.delimiter_options = {true, false, false, false, false};
    if (file == 2) window.text1 = P({"", "elsewhere"});
  };
  RunOnce();
  ASSERT_EQ(engine.calls.size(), 2u);
  EXPECT_EQ(engine.calls[0], (Call{"a.csv", P({out.Utf8(), "a.tsv"}), " ; "}));
  EXPECT_EQ(engine.calls[1], (Call{"b.csv", P({"", "elsewhere", "b.tsv"}), " ; "}));
}

TEST_F(ConversionRunTest, AFileThatFailsIsReportedOnceAtItsStepAndTheRunGoesOn) {
  window.entries = {"a.csv", "b.csv", "c.csv", "d.csv"};
  engine.on_call = [](const Call& call) {
    if (call.input == "b.csv") {
      throw ConversionFailure(ConversionFailure::Stage::kRead, StandardError(kErrFileNotFound));
    }
    if (call.input == "c.csv") {
      throw ConversionFailure(ConversionFailure::Stage::kWrite,
                              StandardError(kErrPermissionDenied));
    }
    if (call.input == "d.csv") throw std::runtime_error("odd");
  };
  RunOnce();
  ASSERT_EQ(window.reporter.errors.size(), 3u);
  EXPECT_EQ(window.reporter.errors[0].step, 170);
  EXPECT_EQ(window.reporter.errors[0].description, "File not found");
  EXPECT_EQ(window.reporter.errors[0].location, "in Velmark2021/08/31.Form1.PushButton7_Click ");
  EXPECT_EQ(window.reporter.errors[1].step, 178);
  EXPECT_EQ(window.reporter.errors[1].number, kErrPermissionDenied);
  // Anything else the engine throws counts as the reading side.
  EXPECT_EQ(window.reporter.errors[2].step, 170);
  EXPECT_EQ(engine.calls.size(), 4u);
  EXPECT_THAT(window.messages, ElementsAre("Done."));
  EXPECT_FALSE(window.converting);
}

TEST_F(ConversionRunTest, EntriesThatVanishDuringARunAreReportedAndSkipped) {
  window.entries = {"a.csv", "b.csv", "c.csv"};
  window.on_pump = [&](int file) {
    if (file == 1) window.entries.resize(1);
  };
  RunOnce();
  EXPECT_EQ(Inputs(), std::vector<std::string>{"a.csv"});
  ASSERT_EQ(window.reporter.errors.size(), 2u);
  EXPECT_EQ(window.reporter.errors[0].step, 136);
  EXPECT_EQ(window.reporter.errors[1].step, 136);
  EXPECT_EQ(window.values, (std::vector<int>{33, 0}));
  EXPECT_THAT(window.messages, ElementsAre("Done."));
}

// The same run over the real engine and real files.
class RealRunTest : public ::testing::Test {
 protected:
  RealRunTest() {
    std::filesystem::create_directories(dir / "out");
    window.text1 = (dir / "out").string();
  }
  std::string Input(const std::string& name, const std::string& bytes) {
    const std::string path = (dir / name).string();
    testing::WriteFile(path, bytes);
    window.entries.push_back(path);
    return path;
  }
  std::string Output(const std::string& name) { return testing::ReadFile(dir / "out" / name); }
  void RunOnce() { ConversionRun(window, RunSettings{0.5, kSep}).Start(); }

  testing::TempDir dir;
  FakeRunWindow window;
};

TEST_F(RealRunTest, EachInputKeepsItsEncodingFamily) {
  window.delimiter_options = {false, false, true, false, false};
  Input("plain.csv", "a;b\r\nc;d\r\n");
  Input("utf8.csv", "\xEF\xBB\xBF\xC3\xA9;x\r\n");
  Input("utf16.csv", std::string("\xFF\xFE"
                                 "a\0;\0b\0\r\0\n\0",
                                 12));
  RunOnce();
  EXPECT_THAT(window.reporter.errors, IsEmpty());
  EXPECT_EQ(Output("plain.tsv"), "a\tb\r\nc\td\r\n");
  EXPECT_EQ(Output("utf8.tsv"), "\xEF\xBB\xBF\xC3\xA9\tx\r\n");
  EXPECT_EQ(Output("utf16.tsv"), std::string("\xFF\xFE"
                                             "a\0\t\0b\0\r\0\n\0",
                                             12));
}

TEST_F(RealRunTest, AnInputIsReadCompletelyBeforeItsOwnPathIsReplaced) {
  const std::string path = Input("table.tsv", "a,b\r\nc,d\r\n");
  window.option6 = false;
  window.option7 = true;
  RunOnce();
  EXPECT_THAT(window.reporter.errors, IsEmpty());
  EXPECT_EQ(testing::ReadFile(path), "a\tb\r\nc\td\r\n");
}

TEST_F(RealRunTest, TheSameFileListedTwiceIsConvertedTwice) {
  const std::string path = Input("a.csv", "1,2\r\n");
  window.entries.push_back(path);
  window.on_pump = [&](int file) {
    if (file == 2) testing::WriteFile(path, "3,4\r\n");
  };
  RunOnce();
  EXPECT_EQ(Output("a.tsv"), "3\t4\r\n");
  EXPECT_THAT(window.messages, ElementsAre("Done."));
}

// A result that would replace an input still to come, or a result written
// earlier in the run from another input, is refused with 58 at step 178.
TEST_F(RealRunTest, ResultsThatWouldDestroyDataAreRefused) {
  namespace fs = std::filesystem;
  fs::create_directories(dir / "x");
  fs::create_directories(dir / "y");
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> inputs;  // name, bytes
    bool beside_input;
    std::size_t refused;
    std::vector<std::pair<std::string, std::string>> after;  // path under dir, bytes
  };
  const std::vector<Case> cases = {
      {"pending input",
       {{"a.csv", "1,2\n"}, {"a.tsv", "keep,me\n"}},
       true,
       1,
       {{"a.tsv", "keep\tme\r\n"}}},
      {"two folders, one output",
       {{"x/a.csv", "x,1\n"}, {"y/a.csv", "y,2\n"}},
       false,
       1,
       {{"out/a.tsv", "x\t1\r\n"}}},
#ifndef _WIN32
      // Windows names ignore case: there the two are one file.
      {"name differing in case",
       {{"b.csv", "b,1\n"}, {"b.CSV", "b,2\n"}},
       false,
       1,
       {{"out/b.tsv", "b\t1\r\n"}}},
#endif
      {"another extension",
       {{"c.csv", "c,1\n"}, {"c.txt", "c,2\n"}},
       false,
       1,
       {{"out/c.tsv", "c\t1\r\n"}}},
      {"same input twice",
       {{"d.csv", "d,1\n"}, {"d.csv", "d,1\n"}},
       false,
       0,
       {{"out/d.tsv", "d\t1\r\n"}}},
      {"in place twice",
       {{"e.tsv", "e,1\n"}, {"e.tsv", "e,1\n"}},
       true,
       0,
       {{"e.tsv", "e\t1\r\n"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window.entries.clear();
    window.reporter.errors.clear();
    window.option6 = !c.beside_input;
    window.option7 = c.beside_input;
    for (const auto& [name, bytes] : c.inputs) Input(name, bytes);
    RunOnce();
    EXPECT_EQ(window.reporter.errors.size(), c.refused);
    for (const testing::ReportedError& error : window.reporter.errors) {
      EXPECT_EQ(error.number, kErrFileExists);
      EXPECT_EQ(error.description, "File already exists");
      EXPECT_EQ(error.step, 178);
    }
    for (const auto& [name, bytes] : c.after) EXPECT_EQ(testing::ReadFile(dir / name), bytes);
  }
}

TEST_F(RealRunTest, UnreadableInputsAreReportedAtTheReadingStepAndWriteNothing) {
  Input("a.csv", "a,b\r\n");
  window.entries.push_back((dir / "missing.csv").string());
  std::filesystem::create_directory(dir / "folder.csv");
  window.entries.push_back((dir / "folder.csv").string());
  Input("c.csv", "c,d\r\n");
  RunOnce();
  ASSERT_EQ(window.reporter.errors.size(), 2u);
  EXPECT_EQ(window.reporter.errors[0].step, 170);
  EXPECT_EQ(window.reporter.errors[0].number, kErrFileNotFound);
  EXPECT_EQ(window.reporter.errors[1].step, 170);
  EXPECT_EQ(Output("a.tsv"), "a\tb\r\n");
  EXPECT_EQ(Output("c.tsv"), "c\td\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "out" / "missing.tsv"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out" / "folder.tsv"));
  EXPECT_THAT(window.messages, ElementsAre("Done."));
}

// Malformed marked text is the window's standard failure too: the table's
// description with the byte offset, at the reading step, while the
// progress text names the file; the older result stays.
TEST_F(RealRunTest, MalformedTextIsReportedAtTheReadingStepAndKeepsTheOlderResult) {
  Input("cut.csv", std::string("\xFF\xFE"
                               "a\0,\0b",
                               7));
  testing::WriteFile(dir / "out" / "cut.tsv", "older");
  Input("ok.csv", "a,b\r\n");
  RunOnce();
  ASSERT_EQ(window.reporter.errors.size(), 1u);
  EXPECT_EQ(window.reporter.errors[0].step, 170);
  EXPECT_EQ(window.reporter.errors[0].number, kErrInvalidFormat);
  EXPECT_EQ(window.reporter.errors[0].description,
            std::string(StandardDescription(kErrInvalidFormat)) +
                " (malformed UTF-16LE text at byte 6: an odd last byte)");
  EXPECT_NE(std::find(window.log.begin(), window.log.end(), "text Processing: cut.csv"),
            window.log.end());
  EXPECT_EQ(Output("cut.tsv"), "older");
  EXPECT_EQ(Output("ok.tsv"), "a\tb\r\n");
}

#ifndef _WIN32
// Files may not grow past `bytes` until the guard goes; writing past the
// limit fails with EFBIG instead of killing the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  void (*old_handler_)(int) = SIG_DFL;
};

TEST_F(RealRunTest, OutputsThatCannotBeWrittenLeaveTheOlderOnesAsTheyWere) {
  const std::string big(4000, ',');
  for (const char* name : {"a", "b", "c"}) {
    Input(std::string(name) + ".csv", big + "\r\n");
    testing::WriteFile(dir / "out" / (std::string(name) + ".tsv"), "older\r\n");
  }
  {
    FileSizeLimit limit(1000);
    RunOnce();
  }
  ASSERT_EQ(window.reporter.errors.size(), 3u);
  for (const testing::ReportedError& error : window.reporter.errors) {
    EXPECT_EQ(error.step, 178);
    EXPECT_EQ(error.location, "in Velmark2021/08/31.Form1.PushButton7_Click ");
  }
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "out")) {
    left.push_back(entry.path().filename().string());
    EXPECT_EQ(testing::ReadFile(entry.path()), "older\r\n");
  }
  std::sort(left.begin(), left.end());
  EXPECT_THAT(left, ElementsAre("a.tsv", "b.tsv", "c.tsv"));
  EXPECT_THAT(window.messages, ElementsAre("Done."));
}
#else
TEST_F(RealRunTest, OutputsThatCannotBeWrittenLeaveTheOlderOnesAsTheyWere) {
  GTEST_SKIP() << "unwritable outputs are a file-size limit here (setrlimit), which Windows "
                  "does not have";
}
#endif  // _WIN32

TEST(ProgressPercent, RoundsToTheNearestWholeAndStaysOnTheBar) {
  EXPECT_EQ(ProgressPercent(1, 3), 33);
  EXPECT_EQ(ProgressPercent(2, 3), 67);
  EXPECT_EQ(ProgressPercent(1, 8), 13);
  EXPECT_EQ(ProgressPercent(3, 3), 100);
  // Entries removed behind the run's back.
  EXPECT_EQ(ProgressPercent(4, 2), 100);
  EXPECT_EQ(ProgressPercent(1, 0), 100);
}

TEST(ResolveDelimiter, TakesTheFirstSelectedOptionInOrder) {
  DelimiterChoice choice;
  choice.other = "::";
  EXPECT_EQ(ResolveDelimiter(choice), "");
  choice.selected = {false, false, false, false, true};
  EXPECT_EQ(ResolveDelimiter(choice), "::");
  choice.selected[3] = true;
  EXPECT_EQ(ResolveDelimiter(choice), "\t");
  choice.selected[2] = true;
  EXPECT_EQ(ResolveDelimiter(choice), ";");
  choice.selected[1] = true;
  EXPECT_EQ(ResolveDelimiter(choice), ", ");
  choice.selected[0] = true;
  EXPECT_EQ(ResolveDelimiter(choice), ",");
}

TEST(AutoScrollTarget, BringsTheNeighbourIntoViewNearTheEdges) {
  // A 100-pixel viewport with 20-pixel rows, 10 entries.
  EXPECT_EQ(AutoScrollTarget(5, 100, 20, 4, 10), 3);
  EXPECT_EQ(AutoScrollTarget(-30, 100, 20, 4, 10), 3);
  EXPECT_EQ(AutoScrollTarget(5, 100, 20, 1, 10), 0);
  EXPECT_EQ(AutoScrollTarget(50, 100, 20, 4, 10), 0);
  EXPECT_EQ(AutoScrollTarget(80, 100, 20, 4, 10), 5);
  EXPECT_EQ(AutoScrollTarget(400, 100, 20, 4, 10), 5);
  EXPECT_EQ(AutoScrollTarget(95, 100, 20, 10, 10), 0);
  EXPECT_EQ(AutoScrollTarget(50, 100, 20, 0, 10), 0);
}

}  // namespace
}  // namespace delvora
