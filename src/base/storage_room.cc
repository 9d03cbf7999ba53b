#include "base/storage_room.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <limits>

namespace kvo {
namespace {

// An unnamed file in `dir`, or -1 with errno set. O_TMPFILE leaves no name
// behind even if the process dies; where the file system lacks it, a
// named file is unlinked at once.
int unnamed_file(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
    return fd;
  }
  std::string name = dir + "/.kvo-room-XXXXXX";
  fd = ::mkostemp(&name[0], O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

// `blocks` of `unit` bytes, saturated rather than wrapped.
uint64_t bytes_of(uint64_t blocks, uint64_t unit) {
  uint64_t bytes;
  return __builtin_mul_overflow(blocks, unit, &bytes)
             ? std::numeric_limits<uint64_t>::max()
             : bytes;
}

}  // namespace

int storage_room(const std::string& dir, uint64_t bytes) {
  struct statvfs info;
  if (::statvfs(dir.c_str(), &info) != 0) return errno;
  const uint64_t available = bytes_of(info.f_bavail, info.f_frsize);
  if (bytes > bytes_of(info.f_blocks, info.f_frsize)) return EFBIG;
  const int fd = unnamed_file(dir);
  if (fd < 0) return errno;
  const off_t length =
      bytes > static_cast<uint64_t>(std::numeric_limits<off_t>::max())
          ? std::numeric_limits<off_t>::max()
          : static_cast<off_t>(bytes);
  int result = length > 0 ? ::posix_fallocate(fd, 0, length) : 0;
  // Without fallocate the counters have to do.
  if (result == EOPNOTSUPP || result == EINVAL) {
    result = available >= bytes ? 0 : ENOSPC;
  }
  ::close(fd);
  return result;
}

bool storage_has_free(const std::string& dir, uint64_t bytes) {
  struct statvfs info;
  // A file system that counts no inodes (f_files 0) has no limit on them.
  return ::statvfs(dir.c_str(), &info) == 0 && !(info.f_flag & ST_RDONLY) &&
         (info.f_files == 0 || info.f_favail > 0) &&
         bytes_of(info.f_bavail, info.f_frsize) >= bytes;
}

}  // namespace kvo
