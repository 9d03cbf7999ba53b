// A file that kvo-archive reads. A desktop's folders may hold anything under
// an archive's name, so only a regular file is taken: it is opened without
// waiting on anything, and a FIFO, device or socket is refused before a
// byte is read. "-" is standard input, read whole into memory up to a cap;
// a regular file is read whole only up to a cap given then.
#ifndef KVO_TOOLS_KVO_ARCHIVE_INPUT_FILE_H_
#define KVO_TOOLS_KVO_ARCHIVE_INPUT_FILE_H_

#include <cstddef>
#include <string>

#include "base/unique_fd.h"

namespace kvo::archive_tool {

class InputFile {
 public:
  // Opens `path`, or reads standard input for "-" up to `stdin_cap` bytes.
  InputFile(const std::string& path, size_t stdin_cap);

  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // False when the file cannot be read, with the reason in error().
  bool valid() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  const std::string& path() const { return path_; }
  bool is_stdin() const { return path_ == "-"; }
  // The open regular file, or -1 for standard input.
  int fd() const { return fd_.get(); }
  // Standard input's bytes.
  const std::string& bytes() const { return bytes_; }

  // Everything from the start into `*bytes`; false with the reason, also
  // when that is more than `cap` bytes (a regular file's size says so
  // before anything is read).
  bool read_all(size_t cap, std::string* bytes, std::string* error) const;
  // The first `size` bytes, fewer when the file is shorter or unreadable.
  std::string head(size_t size) const;

 private:
  std::string path_;
  UniqueFd fd_;
  off_t size_ = 0;  // A regular file's size when opened.
  std::string bytes_;
  std::string error_;
};

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_INPUT_FILE_H_
