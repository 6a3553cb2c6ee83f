#include "platform/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "platform/app_error.h"
#include "platform/posix/long_path.h"

namespace delvora {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// A listing that fails reports what a folder listing means: a vanished
// folder is "Path not found", not "File not found".
AppError FolderListingError(int err) {
  if (err == ENOENT || err == ENOTDIR) return StandardError(kErrPathNotFound);
  if (err == EACCES || err == EPERM) return StandardError(kErrPermissionDenied);
  return ErrorFromErrno(err);
}

}  // namespace

void ListFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& each) {
  const int fd = posix::OpenFolder(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw FolderListingError(errno);
  const std::unique_ptr<DIR, DirCloser> dir(fdopendir(fd));
  if (!dir) {
    const int err = errno;
    ::close(fd);
    throw FolderListingError(err);
  }
  FolderEntry entry;
  std::string path;
  for (;;) {
    errno = 0;
    const dirent* found = readdir(dir.get());
    if (found == nullptr) {
      if (errno != 0) throw FolderListingError(errno);
      return;
    }
    const std::string_view name(found->d_name);
    if (name == "." || name == "..") continue;
    entry.name.assign(name);
    entry.is_folder = found->d_type == DT_DIR;
    entry.is_plain_file = found->d_type == DT_REG;
    if (found->d_type == DT_LNK || found->d_type == DT_UNKNOWN) {
      // Links stand for what they point at.
      path.assign(folder);
      if (!path.empty() && path.back() != '/') path.push_back('/');
      path.append(name);
      struct stat info {};
      entry.is_folder = posix::StatAnyLength(path, &info) == 0 && S_ISDIR(info.st_mode);
      entry.is_plain_file = found->d_type == DT_UNKNOWN && !entry.is_folder &&
                            posix::StatAnyLength(path, &info, false) == 0 && S_ISREG(info.st_mode);
    }
    each(entry);
  }
}

bool WithinPathLimit(const std::string& /*path*/) { return true; }

}  // namespace delvora
