// The floor for converting one large file: the bytes copied unchanged, in
// the blocks delvora-convert reads, through the same system calls (the
// reader's open and advice; the writer's folder handle, look at the old
// result, unnamed file, its permissions, write, name it, rename it over the
// old result). One thread, nothing done to the bytes: whatever a
// conversion costs beyond this is the conversion's own. Keep it in step
// with src/platform/posix/input_file.cpp and replacing_file.cpp.
//
// Usage: copy_floor INPUT OUTPUT [BLOCK_BYTES]

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::size_t kBlock = 1 << 20;  // ConversionOptions::block_size

int Fail(const char* what) {
  std::perror(what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: copy_floor INPUT OUTPUT [BLOCK_BYTES]\n");
    return 2;
  }
  const std::size_t block = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : kBlock;
  const std::string output = argv[2];
  const std::size_t cut = output.rfind('/');
  const std::string folder = cut == std::string::npos ? "." : output.substr(0, cut + 1);
  const std::string name = cut == std::string::npos ? output : output.substr(cut + 1);

  const int in = ::open(argv[1], O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (in < 0) return Fail("open input");
  struct stat info;
  ::fstat(in, &info);
  ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  const mode_t mode = info.st_mode & 0666;

  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return Fail("open folder");
  struct stat old;
  ::fstatat(dir, name.c_str(), &old, AT_SYMLINK_NOFOLLOW);
  const int out = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (out < 0) return Fail("open unnamed file");
  ::fchmod(out, mode);

  void* buffer = nullptr;
  if (::posix_memalign(&buffer, 64, block) != 0) return Fail("memory");
  for (;;) {
    const ssize_t got = ::read(in, buffer, block);
    if (got < 0) return Fail("read");
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t n =
          ::write(out, static_cast<char*>(buffer) + done, static_cast<std::size_t>(got - done));
      if (n <= 0) return Fail("write");
      done += n;
    }
  }
  ::fstat(in, &info);  // the reader's look for a changed input
  ::close(in);

  char link[32];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", out);
  const std::string temp = ".dv-floor-" + std::to_string(::getpid()) + ".tmp";
  if (::linkat(AT_FDCWD, link, dir, temp.c_str(), AT_SYMLINK_FOLLOW) != 0) return Fail("link");
  if (::close(out) != 0) return Fail("close");
  if (::renameat(dir, temp.c_str(), dir, name.c_str()) != 0) return Fail("rename");
  ::close(dir);
  std::free(buffer);
  return 0;
}
