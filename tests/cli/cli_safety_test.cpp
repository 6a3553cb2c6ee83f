// delvora-convert run as a separate process, as a user or a script runs it:
// limits and signals act on the real program.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace delvora {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

struct Child {
  pid_t pid;
  int err_fd;  // the program's standard error, to be read
};

// Starts delvora-convert with args, a file-size limit, a user and a working
// folder (an open one) as asked; SIGXFSZ and the interrupt signals as a
// shell leaves them.
Child Start(const std::vector<std::string>& args, std::optional<rlim_t> file_size_limit,
            std::optional<uid_t> user, int folder = -1) {
  int err[2];
  if (pipe(err) != 0) return {-1, -1};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], STDERR_FILENO);
    close(err[0]);
    close(err[1]);
    for (const int s : {SIGXFSZ, SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
    if (file_size_limit) {
      const rlimit limit{*file_size_limit, *file_size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (folder >= 0 && fchdir(folder) != 0) _exit(125);
    if (user && (setgroups(0, nullptr) != 0 || setgid(*user) != 0 || setuid(*user) != 0))
      _exit(126);
    std::vector<char*> argv{const_cast<char*>(DELVORA_CONVERT_EXE)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(DELVORA_CONVERT_EXE, argv.data());
    _exit(127);
  }
  close(err[1]);
  return {pid, err[0]};
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(fd);
  return text;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The size of the file the process writes in folder, once it has one.
std::optional<off_t> OutputSize(pid_t pid, const std::string& folder, std::string* link_text) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = opendir(fds.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<off_t> size;
  while (dirent* entry = readdir(dir)) {
    const std::string fd_path = fds + "/" + entry->d_name;
    char target[4096];
    const ssize_t n = readlink(fd_path.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string text(target, static_cast<std::size_t>(n));
    struct stat info;
    // The output is the open file in the folder that is not the input.
    if (text.rfind(folder + "/", 0) != 0 || text.find("in.csv") != std::string::npos ||
        stat(fd_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
      continue;
    *link_text = text;
    size = info.st_size;
  }
  closedir(dir);
  return size;
}

class ConvertProcessTest : public ::testing::Test {
 protected:
  std::string P(const char* name) const { return (dir_ / name).string(); }
  testing::TempDir dir_;
};

TEST_F(ConvertProcessTest, AFileSizeLimitFailsOneFileAndTheBatchGoesOn) {
  testing::WriteFile(dir_ / "big.csv", std::string(3 << 20, ','));
  testing::WriteFile(dir_ / "big.tsv", "old");
  testing::WriteFile(dir_ / "small.csv", "a,b\n");
  const Child child = Start({P("big.csv"), P("small.csv")}, rlim_t{1} << 20, std::nullopt);
  ASSERT_GT(child.pid, 0);
  const std::string err = ReadAll(child.err_fd);
  const int status = Wait(child.pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(err.find(P("big.csv")), std::string::npos) << err;
  EXPECT_NE(err.find("Disk full"), std::string::npos) << err;
  EXPECT_EQ(err.find("small.csv"), std::string::npos) << err;
  EXPECT_EQ(testing::ReadFile(dir_ / "big.tsv"), "old");
  EXPECT_EQ(testing::ReadFile(dir_ / "small.tsv"), "a\tb\r\n");
  EXPECT_EQ(Names(dir_.path()),
            (std::vector<std::string>{"big.csv", "big.tsv", "small.csv", "small.tsv"}));
}

// Interrupted or killed half-way through a large file, as root and as an
// unprivileged user: only the older result is left. The output is watched
// through /proc; the program is stopped the moment it grows, so the signal
// always lands in the middle.
TEST_F(ConvertProcessTest, AnInterruptedOrKilledRunLeavesOnlyTheOlderResult) {
  const std::string line = "aaaaaaaa,bbbbbbbb,cccccccc,dddddddd\n";
  std::string big;
  while (big.size() < (48u << 20)) big += line;
  testing::WriteFile(dir_ / "in.csv", big);
  chmod(dir_.path().c_str(), 0777);
  struct Case {
    int signal_number;
    std::optional<uid_t> user;
  };
  for (const Case c : {Case{SIGINT, std::nullopt}, Case{SIGKILL, std::nullopt},
                       Case{SIGTERM, kNobody}, Case{SIGKILL, kNobody}}) {
    SCOPED_TRACE(std::string(strsignal(c.signal_number)) + (c.user ? " as nobody" : " as root"));
    testing::WriteFile(dir_ / "in.tsv", "old");
    chmod(P("in.tsv").c_str(), 0666);
    bool caught = false;
    for (int attempt = 0; attempt < 3 && !caught; ++attempt) {
      const Child child = Start({P("in.csv")}, std::nullopt, c.user);
      ASSERT_GT(child.pid, 0);
      std::string link;
      std::optional<off_t> size;
      int status = 0;
      // No sleeping: look until the output grows or the program ends.
      while (!(size = OutputSize(child.pid, dir_.Utf8(), &link)).value_or(0)) {
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) break;
      }
      if (size.value_or(0) > 0) {
        kill(child.pid, SIGSTOP);
        caught = OutputSize(child.pid, dir_.Utf8(), &link).has_value();
        kill(child.pid, c.signal_number);
        kill(child.pid, SIGCONT);
        status = Wait(child.pid);
      }
      ReadAll(child.err_fd);
      if (!caught) {
        testing::WriteFile(dir_ / "in.tsv", "old");  // finished first: try again
        continue;
      }
      ASSERT_TRUE(WIFSIGNALED(status));
      EXPECT_EQ(WTERMSIG(status), c.signal_number);
      // The result is written unnamed on Linux, which needs no privilege.
      EXPECT_NE(link.find("(deleted)"), std::string::npos) << link;
    }
    ASSERT_TRUE(caught) << "the conversion always finished before it could be stopped";
    EXPECT_EQ(Names(dir_.path()), (std::vector<std::string>{"in.csv", "in.tsv"}));
    EXPECT_EQ(testing::ReadFile(dir_ / "in.tsv"), "old");
  }
  // Uninterrupted, the unprivileged user's result is named and put in place.
  const Child child = Start({P("in.csv")}, std::nullopt, kNobody);
  ReadAll(child.err_fd);
  const int status = Wait(child.pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(fs::file_size(dir_ / "in.tsv"), big.size() + big.size() / line.size());
  EXPECT_EQ(Names(dir_.path()), (std::vector<std::string>{"in.csv", "in.tsv"}));
}

// -o onto a device or a pipe writes into it, as "> target" would: a null
// device of one's own (root may replace /dev/null) and a named pipe stay
// what they were.
TEST_F(ConvertProcessTest, AnOutputDeviceOrPipeIsWrittenIntoNotReplaced) {
  testing::WriteFile(dir_ / "x.csv", "a,b\n");
  ASSERT_EQ(mknod(P("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(mkfifo(P("pipe").c_str(), 0600), 0);
  for (const char* target : {"null", "pipe"}) {
    SCOPED_TRACE(target);
    std::string got;
    std::thread reader;
    if (std::string(target) == "pipe")
      reader = std::thread([&] { got = testing::ReadFile(P("pipe")); });
    const Child child = Start({"-o", P(target), P("x.csv")}, std::nullopt, std::nullopt);
    const std::string err = ReadAll(child.err_fd);
    const int status = Wait(child.pid);
    if (reader.joinable()) reader.join();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    struct stat info;
    ASSERT_EQ(stat(P(target).c_str(), &info), 0);
    EXPECT_FALSE(S_ISREG(info.st_mode));
    if (std::string(target) == "pipe") {
      EXPECT_EQ(got, "a\tb\r\n");
    }
  }
  EXPECT_EQ(Names(dir_.path()), (std::vector<std::string>{"null", "pipe", "x.csv"}));
}

// An input cut short while it is converted fails with its name; the older
// result stays, nothing else is left, and the batch goes on.
TEST_F(ConvertProcessTest, AnInputChangedDuringItsConversionFailsAndTheBatchGoesOn) {
  const std::string line = "aaaaaaaa,bbbbbbbb,cccccccc,dddddddd\n";
  std::string big;
  while (big.size() < (48u << 20)) big += line;
  testing::WriteFile(dir_ / "small.csv", "a,b\n");
  bool caught = false;
  for (int attempt = 0; attempt < 3 && !caught; ++attempt) {
    testing::WriteFile(dir_ / "in.csv", big);
    testing::WriteFile(dir_ / "in.tsv", "old");
    const Child child = Start({P("in.csv"), P("small.csv")}, std::nullopt, std::nullopt);
    ASSERT_GT(child.pid, 0);
    std::string link;
    int status = 0;
    bool ended = false;
    while (!OutputSize(child.pid, dir_.Utf8(), &link).value_or(0)) {
      if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
        ended = true;
        break;
      }
    }
    if (!ended) {
      kill(child.pid, SIGSTOP);
      caught = OutputSize(child.pid, dir_.Utf8(), &link).has_value();
      fs::resize_file(dir_ / "in.csv", 1000);
      kill(child.pid, SIGCONT);
      status = Wait(child.pid);
    }
    const std::string err = ReadAll(child.err_fd);
    if (!caught) continue;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(
        err.find(P("in.csv") + ": " + std::string(ReasonDescription(ErrorReason::kInputChanged))),
        std::string::npos)
        << err;
    EXPECT_EQ(testing::ReadFile(dir_ / "in.tsv"), "old");
    EXPECT_EQ(testing::ReadFile(dir_ / "small.tsv"), "a\tb\r\n");
    EXPECT_EQ(Names(dir_.path()),
              (std::vector<std::string>{"in.csv", "in.tsv", "small.csv", "small.tsv"}));
  }
  ASSERT_TRUE(caught) << "the conversion always finished before it could be stopped";
}

// A folder whose absolute path passes the system's 4,096 bytes is
// converted when named from inside it and by that path: every file below
// it is found and its result written beside it.
TEST_F(ConvertProcessTest, AFolderPastTheSystemsPathLengthIsWalked) {
  const testing::DeepFolder deep(dir_);
  deep.MakeFolder("sub");
  deep.Write("x.csv", "a,b\n");
  deep.Write("sub/y.csv", "c,d\n");
  deep.MakeFolder("out");
  struct Case {
    std::vector<std::string> args;
    int folder;
    std::string x, y;  // the results expected
  };
  for (const Case& c :
       {Case{{"."}, deep.fd(), "x.tsv", "sub/y.tsv"},
        Case{{"--out", deep.path() + "/out", deep.path()}, -1, "out/x.tsv", "out/y.tsv"}}) {
    SCOPED_TRACE(c.folder >= 0 ? "from inside" : "by its path");
    const Child child = Start(c.args, std::nullopt, std::nullopt, c.folder);
    const std::string err = ReadAll(child.err_fd);
    const int status = Wait(child.pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(deep.Read(c.x), "a\tb\r\n");
    EXPECT_EQ(deep.Read(c.y), "c\td\r\n");
  }
}

}  // namespace
}  // namespace delvora

#else

TEST(ConvertProcessTest, SkippedOnWindows) {
  GTEST_SKIP() << "file-size limits, signals, other users and device nodes are POSIX; on "
                  "Windows the converter's interrupt, locked result and long-path cases are "
                  "WindowsConverterExe.* and AtomicFileWriter.* in engine_tests";
}

#endif  // _WIN32
