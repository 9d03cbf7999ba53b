#include "kvo_archive/input_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace kvo::archive_tool {
namespace {

const char* file_kind(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return S_ISCHR(mode) || S_ISBLK(mode) ? "a device" : "no regular file";
}

std::string too_large(size_t cap) {
  return "larger than " + std::to_string(cap) + " bytes";
}

// Reads `fd` from its start (or a pipe from where it is) to its end, or past
// `cap` bytes, into `*bytes`.
bool read_from(int fd, size_t cap, std::string* bytes, std::string* error) {
  bytes->clear();
  off_t offset = 0;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::pread(fd, buffer, sizeof(buffer), offset);
    if (n < 0 && errno == ESPIPE) n = ::read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = std::strerror(errno);
      return false;
    }
    if (n == 0) return true;
    if (bytes->size() + static_cast<size_t>(n) > cap) {
      *error = too_large(cap);
      return false;
    }
    bytes->append(buffer, static_cast<size_t>(n));
    offset += n;
  }
}

}  // namespace

// O_NONBLOCK: opening a FIFO without a writer, or a device, returns at
// once, and the file's kind is known before anything waits on it.
InputFile::InputFile(const std::string& path, size_t stdin_cap)
    : path_(path),
      fd_(path == "-" ? -1
                      : ::open(path.c_str(),
                               O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)) {
  struct stat info;
  if (is_stdin()) {
    read_from(STDIN_FILENO, stdin_cap, &bytes_, &error_);
  } else if (!fd_.valid() || ::fstat(fd_.get(), &info) != 0) {
    error_ = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    error_ = std::string("not a regular file: ") + file_kind(info.st_mode);
  } else {
    size_ = info.st_size;
  }
}

bool InputFile::read_all(size_t cap, std::string* bytes,
                         std::string* error) const {
  if ((is_stdin() ? bytes_.size() : static_cast<uint64_t>(size_)) > cap) {
    *error = too_large(cap);
    return false;
  }
  if (is_stdin()) {
    *bytes = bytes_;
    return true;
  }
  return read_from(fd_.get(), cap, bytes, error);
}

std::string InputFile::head(size_t size) const {
  if (is_stdin()) return bytes_.substr(0, size);
  std::string bytes(size, '\0');
  ssize_t n = ::pread(fd_.get(), &bytes[0], size, 0);
  bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return bytes;
}

}  // namespace kvo::archive_tool
