// The floor for converting many small files: the same system calls per file
// as delvora-convert makes (reader, then writer: folder handle, look at the
// old result, unnamed file, its permissions, write, name it, rename it over
// the old result), around a trivial byte loop. Keep it in step with
// src/conversion/text_writer.cpp and text_reader.cpp.
//
// Usage: batch_floor IN_DIR OUT_DIR   (converts IN_DIR/*.csv into OUT_DIR)

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

char in_buffer[1 << 16];
char out_buffer[2 << 16];

bool Convert(const std::string& input, const std::string& folder, const std::string& name) {
  struct stat info;
  if (::stat(input.c_str(), &info) != 0) return false;  // the list's "is it a file?"
  const int in = ::open(input.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return false;
  ::fstat(in, &info);
  ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool exists = ::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
  const int out = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (exists) {
    ::fchmod(out, info.st_mode & 0777);
    ::stat(input.c_str(), &info);  // does the result replace its own input?
  }
  for (ssize_t got; (got = ::read(in, in_buffer, sizeof in_buffer)) > 0;) {
    std::size_t n = 0;
    for (ssize_t i = 0; i < got; ++i) {
      const char c = in_buffer[i];
      if (c == '\n') out_buffer[n++] = '\r';
      out_buffer[n++] = c == ',' ? '\t' : c;
    }
    if (::write(out, out_buffer, n) != static_cast<ssize_t>(n)) return false;
  }
  ::close(in);
  char link[32];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", out);
  const char* temp = ".dv-0123456789.tmp";
  if (::linkat(AT_FDCWD, link, dir, temp, AT_SYMLINK_FOLLOW) != 0) return false;
  ::close(out);
  const bool renamed = ::renameat(dir, temp, dir, name.c_str()) == 0;
  ::close(dir);
  return renamed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: batch_floor IN_DIR OUT_DIR\n");
    return 2;
  }
  const std::string in_dir = argv[1], out_dir = std::string(argv[2]) + "/";
  std::vector<std::string> names;
  DIR* dir = ::opendir(in_dir.c_str());
  if (dir == nullptr) return 2;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".csv") == 0) names.push_back(name);
  }
  ::closedir(dir);
  int failed = 0;
  for (const std::string& name : names) {
    const std::string result = name.substr(0, name.size() - 4) + ".tsv";
    if (!Convert(in_dir + "/" + name, out_dir, result)) ++failed;
  }
  return failed == 0 ? 0 : 1;
}
