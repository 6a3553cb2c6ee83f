#include "platform/file_identity.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#include <sys/vfs.h>
#endif

#include "platform/posix/long_path.h"

namespace delvora {

namespace {

std::optional<PathIdentity> Identify(const std::string& path, bool follow_links) {
  struct stat info;
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  if (posix::StatAnyLength(path, &info, follow_links) != 0) return std::nullopt;
  return PathIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino), ""};
}

// Whether a folder compares names without regard to case: the FAT family,
// NTFS, SMB shares, and folders marked case-insensitive on ext4 and f2fs.
bool IgnoresCase([[maybe_unused]] const std::string& folder) {
#ifdef __linux__
  // Opened step by step where the path is too long for one call; the type
  // needs no right to read the folder, its flags do.
  const int at = posix::OpenFolder(folder, posix::kWalkFlags);
  if (at < 0) return false;
  struct statfs fs;
  bool folds = false;
  if (::fstatfs(at, &fs) == 0) {
    switch (static_cast<unsigned long>(fs.f_type)) {
      case 0x4d44UL:      // vfat, msdos
      case 0x2011BAB0UL:  // exfat
      case 0x5346544eUL:  // ntfs, ntfs3
      case 0xFF534D42UL:  // cifs
      case 0xFE534D42UL:  // smb2
        folds = true;
        break;
      default:
        break;
    }
  }
#ifndef FS_CASEFOLD_FL
#define FS_CASEFOLD_FL 0x40000000
#endif
  const int fd = folds ? -1 : ::openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  ::close(at);
  if (fd < 0) return folds;
  int flags = 0;
  folds = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
  ::close(fd);
  return folds;
#else
  return false;
#endif
}

}  // namespace

std::optional<PathIdentity> FileIdentity(const std::string& path) { return Identify(path, true); }

std::optional<PathIdentity> LinkIdentity(const std::string& path) { return Identify(path, false); }

std::string FoldedName(const std::string& name, const PathIdentity& /*folder_id*/,
                       const std::string& folder) {
  // Asked anew each time, not remembered by folder: a folder removed and
  // made again may reuse its number with another setting, and the question
  // costs no more than finding the folder's identity did.
  if (!IgnoresCase(folder)) return name;
  // The letters these file systems fold beyond ASCII differ between them;
  // ASCII is what all of them agree on.
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace delvora
