#include "file_io.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "base/unique_fd.h"

namespace kvo::sim {

bool read_all(int fd, std::string* bytes) {
  char buffer[16384];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes->append(buffer, static_cast<size_t>(n));
  }
}

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

FileContents read_contents(const std::string& path, struct stat* info) {
  FileContents contents;
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    contents.state =
        errno == ENOENT ? FileState::kMissing : FileState::kUnreadable;
    return contents;
  }
  struct stat ignored;
  if (::fstat(fd.get(), info != nullptr ? info : &ignored) != 0 ||
      !read_all(fd.get(), &contents.bytes)) {
    contents.state = FileState::kUnreadable;
    contents.bytes.clear();
    return contents;
  }
  contents.state = FileState::kRead;
  return contents;
}

bool write_file_atomically(const std::string& path, const std::string& content,
                           std::string* error) {
  std::string temporary = path + ".XXXXXX";
  UniqueFd fd(::mkstemp(temporary.data()));
  if (!fd.valid()) {
    *error = "cannot create " + temporary + ": " + std::strerror(errno);
    return false;
  }
  // mkstemp makes the file private; the service may run as another user.
  if (::fchmod(fd.get(), 0644) != 0 ||
      !write_all(fd.get(), content.data(), content.size()) || !fd.close() ||
      ::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace kvo::sim
