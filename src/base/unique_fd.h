// Owns one file descriptor and closes it when it goes out of scope.
#ifndef KVO_BASE_UNIQUE_FD_H_
#define KVO_BASE_UNIQUE_FD_H_

#include <unistd.h>

namespace kvo {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }

  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Gives up ownership without closing.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

  // Closes now, reporting the result: a failed close can mean lost data.
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace kvo

#endif  // KVO_BASE_UNIQUE_FD_H_
