// delvora-convert.exe started as Windows starts it, so that its wmain, the
// conversion of its UTF-16 arguments and its exit status are what is tested.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "platform/utf8_path.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>

namespace delvora {
namespace {

namespace fs = std::filesystem;

struct Finished {
  DWORD status = 0;
  std::string output;  // standard output and error together
};

// Runs the converter beside this test with a raw command line: Wine's own
// argument conversion from Linux could not deliver every UTF-16 text.
Finished RunConverter(const std::wstring& arguments) {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
  const std::wstring exe = (fs::path(self).parent_path() / L"delvora-convert.exe").native();
  std::wstring command = L"\"" + exe + L"\" " + arguments;

  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  EXPECT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process{};
  Finished finished;
  const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  EXPECT_TRUE(started) << "cannot start " << PathToUtf8(exe);
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof(buffer), &got, nullptr) && got > 0)
      finished.output.append(buffer, got);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &finished.status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read_end);
  return finished;
}

std::wstring Quoted(const std::string& utf8) { return L"\"" + PathFromUtf8(utf8).native() + L"\""; }

TEST(WindowsConverterExe, ReportsThroughItsExitStatusAndTakesEveryName) {
  testing::TempDir dir;
  // Characters no single ANSI code page holds together.
  const std::string name = "\xCE\xB1\xCE\xB2 \xE6\x97\xA5\xE6\x9C\xAC.csv";
  testing::WriteFile(dir / name, "a,b\n");
  EXPECT_EQ(RunConverter(Quoted(dir.Utf8(name))).status, 0u);
  EXPECT_EQ(testing::ReadFile(dir / "\xCE\xB1\xCE\xB2 \xE6\x97\xA5\xE6\x9C\xAC.tsv"), "a\tb\r\n");
  EXPECT_EQ(RunConverter(Quoted(dir.Utf8("missing.csv"))).status, 1u);
  EXPECT_EQ(RunConverter(L"").status, 2u);
  const Finished version = RunConverter(L"--version");
  EXPECT_EQ(version.status, 0u);
  EXPECT_EQ(version.output.rfind("delvora-convert ", 0), 0u) << version.output;
}

// cmd and PowerShell hand "*.csv" over as it is: the program expands it.
TEST(WindowsConverterExe, ExpandsWildcardsInExplorersOrder) {
  testing::TempDir dir;
  for (const char* name : {"b10.csv", "B9.csv", "a.csv", "a.csvx", "c.txt"})
    testing::WriteFile(dir / name, "a,b\n");
  struct Case {
    std::string argument;  // under dir
    DWORD status;
    std::vector<std::string> inputs;  // in order
  };
  const Case cases[] = {
      {"*.csv", 0, {"a.csv", "B9.csv", "b10.csv"}},
      {"?.csv", 0, {"a.csv"}},
      {"b*", 0, {"B9.csv", "b10.csv"}},
  };
  for (const Case& c : cases) {
    const Finished run = RunConverter(L"--dry-run " + Quoted(dir.Utf8(c.argument)));
    EXPECT_EQ(run.status, c.status) << c.argument << ": " << run.output;
    std::string expected;
    for (const std::string& input : c.inputs) {
      const std::string base = dir.Utf8(input.substr(0, input.rfind('.')));
      expected += dir.Utf8(input) + " \xE2\x86\x92 " + base + ".tsv\r\n";
    }
    EXPECT_EQ(run.output, expected) << c.argument;
  }
  const std::string none = dir.Utf8("*.xyz");
  const Finished missing = RunConverter(Quoted(none) + L" " + Quoted(dir.Utf8("a.csv")));
  EXPECT_EQ(missing.status, 1u);
  EXPECT_EQ(missing.output, "delvora-convert: " + none + ": File not found\r\n");
  EXPECT_EQ(testing::ReadFile(dir / "a.tsv"), "a\tb\r\n");
}

TEST(WindowsConverterExe, RefusesAnArgumentWithAnUnpairedSurrogate) {
  testing::TempDir dir;
  testing::WriteFile(dir / "x.csv", "a,b\n");
  // Replaced by U+FFFD it would name another file, or none.
  const std::wstring broken = PathFromUtf8(dir.Utf8("x")).native() + L'\xD800' + L".csv";
  const Finished refused = RunConverter(Quoted(dir.Utf8("x.csv")) + L" \"" + broken + L"\"");
  EXPECT_EQ(refused.status, 2u);
  EXPECT_NE(refused.output.find("argument 2 is not valid Unicode text"), std::string::npos)
      << refused.output;
  EXPECT_FALSE(fs::exists(dir / "x.tsv"));  // nothing converted before the refusal
}

TEST(WindowsConverterExe, NetworkAndLongFormsReachTheSystemAsWritten) {
  testing::TempDir dir;
  testing::WriteFile(dir / "a.csv", "a,b\n");
  // The long form converts beside its input, under the same form.
  const std::string long_form = "\\\\?\\" + dir.Utf8("a.csv");
  const Finished converted = RunConverter(Quoted(long_form));
  EXPECT_EQ(converted.status, 0u) << converted.output;
  EXPECT_EQ(testing::ReadFile(dir / "a.tsv"), "a\tb\r\n");
  // A folder in the long form is walked in it.
  testing::WriteFile(dir / "a.csv", "c,d\n");
  std::filesystem::create_directories(dir / "in/sub");
  testing::WriteFile(dir / "in/sub/b.csv", "e,f\n");
  const Finished walked = RunConverter(Quoted("\\\\?\\" + dir.Utf8()));
  EXPECT_EQ(walked.status, 0u) << walked.output;
  EXPECT_EQ(testing::ReadFile(dir / "a.tsv"), "c\td\r\n");
  EXPECT_EQ(testing::ReadFile(dir / "in/sub/b.tsv"), "e\tf\r\n");

  // A share that is not there fails under its own name, not as a folder of
  // the current drive.
  const std::string share = "\\\\delvora-no-server\\share";
  const Finished input = RunConverter(Quoted(share + "\\x.csv"));
  EXPECT_EQ(input.status, 1u);
  EXPECT_NE(input.output.find(share + "\\x.csv: "), std::string::npos) << input.output;
  const Finished out = RunConverter(L"--out " + Quoted(share) + L" " + Quoted(dir.Utf8("a.csv")));
  EXPECT_EQ(out.status, 2u);
  EXPECT_NE(out.output.find(share), std::string::npos) << out.output;
  EXPECT_EQ(out.output.find(":\\delvora-no-server"), std::string::npos) << out.output;
}

// Ctrl+C, Ctrl+Break and closing the console end the converter with the
// status Windows gives an interrupted program, which scripts read as a
// failure; they remove the temporary it was writing and give the console
// back the code page the user's shell had. The test is the shell: it makes
// a console of its own with that code page and starts the converter in it,
// as cmd does, waiting on a standard input the test never closes, so the
// event always lands mid-run. Ctrl+C is pressed as a program presses it
// (GenerateConsoleCtrlEvent, which also reaches the test: its handler lets
// it pass). The console hands every event to a program by starting
// CtrlRoutine in it with the event; Ctrl+Break goes that way where the
// console cannot send it (Wine), and closing the console always does: a
// console really closed would end the test too.
BOOL WINAPI IgnoreConsoleEvents(DWORD) { return TRUE; }

bool DeliverConsoleEvent(HANDLE process, DWORD event) {
  HMODULE system = GetModuleHandleW(L"kernelbase.dll");
  FARPROC routine = system != nullptr ? GetProcAddress(system, "CtrlRoutine") : nullptr;
  if (routine == nullptr)
    routine = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine");
  if (routine == nullptr) return false;
  HANDLE thread =
      CreateRemoteThread(process, nullptr, 0,
                         reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(routine)),
                         reinterpret_cast<void*>(static_cast<std::uintptr_t>(event)), 0, nullptr);
  if (thread == nullptr) return false;
  CloseHandle(thread);
  return true;
}

TEST(WindowsConverterExe, AnInterruptRestoresTheConsoleAndLeavesNothing) {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
  const std::wstring exe = (fs::path(self).parent_path() / L"delvora-convert.exe").native();
  constexpr UINT kShellCodePage = 1252;
  FreeConsole();
  if (!AllocConsole() || GetConsoleOutputCP() == 0) {
    // The run that gives Wine a display is there for this test alone: a
    // skip there would hide a broken console.
    if (std::getenv("DELVORA_REQUIRE_CONSOLE") != nullptr)
      FAIL() << "no console, even with a display";
    GTEST_SKIP() << "no console here (Wine makes one only with a display)";
  }
  SetConsoleCtrlHandler(IgnoreConsoleEvents, TRUE);
  for (const DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT}) {
    SCOPED_TRACE(event);
    testing::TempDir dir;
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    SetConsoleOutputCP(kShellCodePage);
    std::wstring command = L"\"" + exe + L"\" -o " + Quoted(dir.Utf8("out.tsv")) + L" -";
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
    SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read_end;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &process));
    CloseHandle(read_end);
    const auto entries = [&] {
      return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
    };
    // The temporary shows the run is under way.
    while (entries() == 0 && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    }
    const UINT running_code_page = GetConsoleOutputCP();
    const bool sent = (event != CTRL_CLOSE_EVENT && GenerateConsoleCtrlEvent(event, 0)) ||
                      (event != CTRL_C_EVENT && DeliverConsoleEvent(process.hProcess, event));
    const bool ended = sent && WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 1);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    const UINT after_code_page = GetConsoleOutputCP();
    CloseHandle(write_end);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_TRUE(ended) << "the converter did not end (event sent: " << sent << ")";
    EXPECT_EQ(status, static_cast<DWORD>(STATUS_CONTROL_C_EXIT));
    EXPECT_EQ(entries(), 0);
    EXPECT_EQ(running_code_page, UINT{CP_UTF8});
    EXPECT_EQ(after_code_page, kShellCodePage);
  }
  SetConsoleCtrlHandler(IgnoreConsoleEvents, FALSE);
  FreeConsole();
}

}  // namespace
}  // namespace delvora

#endif  // _WIN32
