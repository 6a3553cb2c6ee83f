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
  // In a sticky folder everyone may write in (/tmp, a shared drop folder),
  // a link is followed only when its owner is the user or the folder's
  // owner, as the kernel itself rules: anyone else's link may point at
  // the user's private files.
  struct stat folder_info {};
  const bool shared = ::fstat(fd, &folder_info) == 0 && (folder_info.st_mode & S_ISVTX) &&
                      (folder_info.st_mode & S_IWOTH);
  FolderEntry entry;
  for (;;) {
    errno = 0;
    const dirent* found = readdir(dir.get());
    if (found == nullptr) {
      if (errno != 0) throw FolderListingError(errno);
      return;
    }
    const std::string_view name(found->d_name);
    if (name == "." || name == "..") continue;
    unsigned char type = found->d_type;
    struct stat info {};
    if (type == DT_UNKNOWN) {
      if (::fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISLNK(info.st_mode)   ? DT_LNK
             : S_ISDIR(info.st_mode) ? DT_DIR
             : S_ISREG(info.st_mode) ? DT_REG
                                     : DT_FIFO;
    }
    entry.is_plain_file = type == DT_REG;
    entry.is_folder = type == DT_DIR;
    if (type == DT_LNK) {
      if (shared && (::fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                     (info.st_uid != ::geteuid() && info.st_uid != folder_info.st_uid)))
        continue;
      // Links stand for what they point at.
      if (::fstatat(fd, found->d_name, &info, 0) != 0) continue;
      entry.is_folder = S_ISDIR(info.st_mode);
      if (!entry.is_folder && !S_ISREG(info.st_mode)) continue;
    } else if (!entry.is_folder && !entry.is_plain_file) {
      // A pipe, device or socket is no file to convert, and reading one
      // may never end.
      continue;
    }
    entry.name.assign(name);
    each(entry);
  }
}

bool WithinPathLimit(const std::string& /*path*/) { return true; }

}  // namespace delvora
