// delvora-convert run as a separate process, as a user or a script runs it:
// limits and signals act on the real program.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
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

// How a child is started: everything a shell or another user might set.
struct Launch {
  std::optional<rlim_t> file_size_limit;
  std::optional<uid_t> user;
  int folder = -1;                       // an open working folder
  std::optional<mode_t> mask;            // the umask
  std::vector<std::pair<int, int>> fds;  // descriptors handed over: {from, as}
  // No /proc/self/fd for the program (as on systems without it), so its
  // results go through named temporaries; for an unprivileged user.
  bool without_proc = false;
  // A /dev of the program's own (a tmpfs holding the standard links), so
  // that a result wrongly made there replaces nothing of this machine's.
  bool private_dev = false;
};

// Mounts a /dev of this process's own in a private mount namespace.
bool MountPrivateDev() {
  if (unshare(CLONE_NEWNS) != 0 ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("none", "/dev", "tmpfs", 0, "mode=755") != 0)
    return false;
  for (const auto& [name, target] : {std::pair{"/dev/stdin", "/proc/self/fd/0"},
                                     {"/dev/stdout", "/proc/self/fd/1"},
                                     {"/dev/stderr", "/proc/self/fd/2"},
                                     {"/dev/fd", "/proc/self/fd"}}) {
    if (symlink(target, name) != 0) return false;
  }
  return mknod("/dev/null", S_IFCHR | 0666, makedev(1, 3)) == 0;
}

// Starts delvora-convert with args as launch says; SIGXFSZ and the
// interrupt signals as a shell leaves them. Its standard error is to be read
// unless launch hands over descriptor 2.
Child Start(const std::vector<std::string>& args, const Launch& launch) {
  int err[2];
  if (pipe(err) != 0) return {-1, -1};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], STDERR_FILENO);
    close(err[0]);
    close(err[1]);
    for (const auto& [from, as] : launch.fds) dup2(from, as);
    for (const int s : {SIGXFSZ, SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(s, SIG_DFL);
    if (launch.file_size_limit) {
      const rlimit limit{*launch.file_size_limit, *launch.file_size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (launch.mask) umask(*launch.mask);
    const std::string own_fds = "/proc/" + std::to_string(getpid()) + "/fd";
    if (launch.without_proc && (unshare(CLONE_NEWNS) != 0 ||
                                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                                mount("none", own_fds.c_str(), "tmpfs", 0, "mode=000") != 0))
      _exit(124);
    if (launch.private_dev && !MountPrivateDev()) _exit(124);
    if (launch.folder >= 0 && fchdir(launch.folder) != 0) _exit(125);
    if (launch.user &&
        (setgroups(0, nullptr) != 0 || setgid(*launch.user) != 0 || setuid(*launch.user) != 0))
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

Child Start(const std::vector<std::string>& args, std::optional<rlim_t> file_size_limit,
            std::optional<uid_t> user, int folder = -1) {
  return Start(args, Launch{file_size_limit, user, folder, {}, {}, false, false});
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

struct Ran {
  int status;
  std::string err;
  bool ok() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

Ran Convert(const std::vector<std::string>& args, const Launch& launch = {}) {
  const Child child = Start(args, launch);
  std::string err = ReadAll(child.err_fd);
  return {Wait(child.pid), std::move(err)};
}

// Runs body as another local user (nobody) in a child process; body's
// result is the child's status.
pid_t AsNobody(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
    _exit(body());
  }
  return pid;
}

bool DoneAsNobody(const std::function<int()>& body) {
  const int status = Wait(AsNobody(body));
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Another user of a shared folder (sticky and open to all, as /tmp) keeps
// swapping a result's name between a link to the null device and a link to
// a private file of the user's own, hundreds of times over, while the user
// converts into it by a made-up name and by a name typed with -o: the
// private file is never written.
TEST_F(ConvertProcessTest, AnotherUsersSwappedLinksNeverLeadTheResultIntoAFile) {
  ASSERT_EQ(chmod(dir_.path().c_str(), 01777), 0);
  testing::TempDir home;
  testing::WriteFile(home / "private", "mine alone");
  ASSERT_EQ(chmod((home / "private").c_str(), 0600), 0);
  testing::WriteFile(dir_ / "r.csv", "a,b\n");
  const std::string victim = (home / "private").string();
  const std::string result = P("r.tsv");
  const pid_t attacker = AsNobody([&] {
    for (;;) {
      for (const char* target : {"/dev/null", victim.c_str()}) {
        const std::string link = result + ".new";
        unlink(link.c_str());
        if (symlink(target, link.c_str()) == 0) rename(link.c_str(), result.c_str());
      }
    }
    return 0;
  });
  int converted = 0;
  int attacks_seen = 0;  // the other user's link at the name: the race is on
  for (int round = 0; round < 300; ++round) {
    struct stat seen;
    attacks_seen +=
        lstat(result.c_str(), &seen) == 0 && S_ISLNK(seen.st_mode) && seen.st_uid == kNobody;
    unlink(result.c_str());  // the user's own result from the round before
    const bool named = round % 2 == 1;
    const Ran ran = named ? Convert({"-o", result, P("r.csv")}) : Convert({P("r.csv")});
    converted += ran.ok();
  }
  kill(attacker, SIGKILL);
  Wait(attacker);
  EXPECT_EQ(converted, 300);
  EXPECT_GT(attacks_seen, 0);
  EXPECT_EQ(testing::ReadFile(home / "private"), "mine alone");
  struct stat info;
  ASSERT_EQ(lstat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

// What another user plants at a made-up result name never receives the
// data and never holds the batch up: a pipe or a device there is refused
// with its reason, a link to one is replaced by the result.
TEST_F(ConvertProcessTest, PlantedPipesDevicesAndLinksReceiveNothing) {
  ASSERT_EQ(chmod(dir_.path().c_str(), 01777), 0);
  ASSERT_EQ(mknod(P("device").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_TRUE(DoneAsNobody([&] {
    return mkfifo(P("fifo.tsv").c_str(), 0666) | mkfifo(P("read").c_str(), 0666) |
           symlink(P("read").c_str(), P("linked-fifo.tsv").c_str()) |
           symlink(P("device").c_str(), P("linked-device.tsv").c_str());
  }));
  // Their reader waits on the pipe the link points to.
  const int reader = open(P("read").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  for (const char* name : {"fifo", "linked-fifo", "linked-device"})
    testing::WriteFile(dir_ / (std::string(name) + ".csv"), "a,b\n");
  const Ran ran = Convert({P("fifo.csv"), P("linked-fifo.csv"), P("linked-device.csv")});
  EXPECT_EQ(WEXITSTATUS(ran.status), 1) << ran.err;
  EXPECT_NE(ran.err.find("A device, pipe or socket has the result's name"), std::string::npos)
      << ran.err;
  char byte;
  EXPECT_LE(read(reader, &byte, 1), 0);
  close(reader);
  struct stat info;
  ASSERT_EQ(lstat(P("fifo.tsv").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  for (const char* name : {"linked-fifo.tsv", "linked-device.tsv"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(lstat(P(name).c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_uid, geteuid());
    EXPECT_EQ(testing::ReadFile(dir_ / name), "a\tb\r\n");
  }
}

// Converting a shared folder (sticky and open to all) follows only the
// user's own links there: another user's link to a private file or folder
// is passed over, as is a pipe, which would never end; so no result
// publishes what the links point at.
TEST_F(ConvertProcessTest, TheWalkFollowsNoOtherUsersLinkInASharedFolder) {
  testing::TempDir home;
  testing::WriteFile(home / "secret.csv", "private,data\n");
  ASSERT_EQ(chmod((home / "secret.csv").c_str(), 0600), 0);
  std::filesystem::create_directory(home / "private");
  testing::WriteFile(home / "private" / "deep.csv", "private,too\n");
  testing::WriteFile(home / "mine.csv", "a,b\n");
  ASSERT_EQ(chmod(dir_.path().c_str(), 01777), 0);
  const fs::path shared = dir_ / "shared";  // the user's, open to all, as /tmp is
  ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  ASSERT_TRUE(DoneAsNobody([&] {
    return symlink((home / "secret.csv").c_str(), (shared / "leak.csv").c_str()) |
           symlink((home / "private").c_str(), (shared / "linked").c_str()) |
           mkfifo((shared / "pipe.csv").c_str(), 0666);
  }));
  ASSERT_EQ(symlink((home / "mine.csv").c_str(), (shared / "mine.csv").c_str()), 0);
  const Ran ran = Convert({"--out", home.Utf8(), shared.string()});
  EXPECT_TRUE(ran.ok()) << ran.err;
  EXPECT_EQ(Names(home.path()),
            (std::vector<std::string>{"mine.csv", "mine.tsv", "private", "secret.csv"}));
}

// A result is never more open than its input, and a mode comes over only
// from the user's own old result itself, never through a planted link to a
// file of the user's that is more open.
TEST_F(ConvertProcessTest, ResultModesNobodyElseChose) {
  ASSERT_EQ(chmod(dir_.path().c_str(), 01777), 0);
  testing::WriteFile(dir_ / "open.txt", "the user's, readable by all");
  ASSERT_EQ(chmod(P("open.txt").c_str(), 0644), 0);
  ASSERT_TRUE(DoneAsNobody([&] { return symlink(P("open.txt").c_str(), P("s.tsv").c_str()); }));
  struct Case {
    const char* input;
    mode_t input_mode, mask, result_mode;
  };
  for (const Case& c : {Case{"s.csv", 0644, 077, 0600}, Case{"secret.csv", 0600, 022, 0600},
                        Case{"public.csv", 0664, 002, 0664}, Case{"script.csv", 0755, 022, 0644}}) {
    SCOPED_TRACE(c.input);
    testing::WriteFile(dir_ / c.input, "a,b\n");
    ASSERT_EQ(chmod(P(c.input).c_str(), c.input_mode), 0);
    Launch launch;
    launch.mask = c.mask;
    const Ran ran = Convert({P(c.input)}, launch);
    EXPECT_TRUE(ran.ok()) << ran.err;
    const std::string result = P(c.input).substr(0, P(c.input).size() - 4) + ".tsv";
    struct stat info;
    ASSERT_EQ(lstat(result.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, c.result_mode);
  }
}

// -o names one of the program's own descriptors: it writes into whatever
// that is (here a file the shell redirected into), as -o - does, and
// creates, renames or replaces nothing in /dev or /proc; as an ordinary
// user and as root.
TEST_F(ConvertProcessTest, OwnDescriptorsNamedWithOAreWrittenInto) {
  testing::WriteFile(dir_ / "x.csv", "a,b\n");
  ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
  struct Case {
    const char* target;
    int as;
    std::optional<uid_t> user;
  };
  for (const Case& c :
       {Case{"/dev/stdout", 1, kNobody}, Case{"/dev/fd/3", 3, kNobody},
        Case{"/proc/self/fd/1", 1, kNobody}, Case{"/dev/stderr", 2, kNobody},
        Case{"/dev/fd/3", 3, std::nullopt}, Case{"/proc/self/fd/1", 1, std::nullopt}}) {
    SCOPED_TRACE(std::string(c.target) + (c.user ? " as nobody" : " as root"));
    const int file = open(P("redirected").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ASSERT_GE(file, 0);
    Launch launch;
    launch.user = c.user;
    launch.fds = {{file, c.as}};
    const Ran ran = Convert({"-o", c.target, P("x.csv")}, launch);
    close(file);
    EXPECT_TRUE(ran.ok()) << ran.err;
    EXPECT_EQ(testing::ReadFile(dir_ / "redirected"), "a\tb\r\n");
    struct stat info;
    ASSERT_EQ(lstat("/dev/stdout", &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
  }
  EXPECT_EQ(Names(dir_.path()), (std::vector<std::string>{"redirected", "x.csv"}));
}

// The same descriptors reached by other spellings, and results asked for in
// /dev or /proc, as root: the descriptor is written into, and nothing is
// made or replaced there. Run in a /dev of the program's own, so that a
// failure replaces nothing of the machine's.
TEST_F(ConvertProcessTest, NoSpellingMakesOrReplacesAResultInDevOrProc) {
  testing::WriteFile(dir_ / "x.csv", "a,b\n");
  fs::create_directory_symlink("/dev", dir_ / "devices");
  struct Case {
    std::vector<std::string> args;
    bool written;  // into the redirected descriptor 1; else refused
  };
  for (const Case& c : {
           Case{{"-o", "/dev/../dev/stdout"}, true},
           Case{{"-o", "/dev//stdout"}, true},
           Case{{"-o", P("devices") + "/stdout"}, true},
           Case{{"-o", "/proc/thread-self/fd/1"}, true},
           Case{{"-o", "/dev/fd/../fd/1"}, true},
           Case{{"-o", "/dev/null"}, false},  // written into, nothing redirected
           Case{{"-o", "/dev/x.tsv"}, false},
           Case{{"-o", "/proc/x.tsv"}, false},
           Case{{"--out", "/dev"}, false},
           Case{{"--out", P("devices")}, false},
       }) {
    const std::string shown = c.args[0] + " " + c.args[1];
    SCOPED_TRACE(shown);
    const int file = open(P("redirected").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ASSERT_GE(file, 0);
    Launch launch;
    launch.private_dev = true;
    launch.fds = {{file, 1}};
    std::vector<std::string> args = c.args;
    args.push_back(P("x.csv"));
    const Ran ran = Convert(args, launch);
    close(file);
    if (WIFEXITED(ran.status) && WEXITSTATUS(ran.status) == 124)
      GTEST_SKIP() << "no private mount namespace here for a /dev of the test's own";
    const bool into_null = c.args[1] == "/dev/null";
    EXPECT_EQ(ran.ok(), c.written || into_null) << ran.err;
    EXPECT_EQ(testing::ReadFile(dir_ / "redirected"), c.written ? "a\tb\r\n" : "");
    if (!c.written && !into_null) {
      EXPECT_NE(ran.err.find("No result is made in the system's /dev or /proc"), std::string::npos)
          << ran.err;
    }
  }
  EXPECT_EQ(Names(dir_.path()), (std::vector<std::string>{"devices", "redirected", "x.csv"}));
}

// The standard error read by a program that has quit (`2>&1 | head -1`):
// the program ends of the broken pipe as the shell expects, and the named
// temporaries of the conversions under way are removed first.
TEST_F(ConvertProcessTest, ABrokenPipeLeavesNoTemporary) {
  ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
  const std::string line = "aaaaaaaa,bbbbbbbb,cccccccc,dddddddd\n";
  std::string big;
  while (big.size() < (8u << 20)) big += line;
  std::vector<std::string> args{"-j", "4"};
  for (int i = 0; i < 8; ++i) {
    const std::string name = "in" + std::to_string(i) + ".csv";
    if (i % 2 == 0) testing::WriteFile(dir_ / name, big);
    args.push_back(P(name.c_str()));  // the odd ones are missing: a message each
  }
  for (int run = 0; run < 5; ++run) {
    SCOPED_TRACE(run);
    int closed[2];
    ASSERT_EQ(pipe(closed), 0);
    close(closed[0]);
    Launch launch;
    launch.user = kNobody;
    launch.without_proc = true;
    launch.fds = {{closed[1], 2}};
    const Ran ran = Convert(args, launch);
    close(closed[1]);
    if (WIFEXITED(ran.status) && WEXITSTATUS(ran.status) == 124)
      GTEST_SKIP() << "no private mount namespace here to take /proc/self/fd away";
    ASSERT_TRUE(WIFSIGNALED(ran.status)) << ran.status;
    EXPECT_EQ(WTERMSIG(ran.status), SIGPIPE);
    for (const std::string& name : Names(dir_.path()))
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
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

#endif  // _WIN32
