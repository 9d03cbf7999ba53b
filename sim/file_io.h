// Whole-file reads and atomic replacement of the folder's files: writers
// replace a file by rename so that a reader in another process never sees
// it half written.
#ifndef KVO_SIM_FILE_IO_H_
#define KVO_SIM_FILE_IO_H_

#include <sys/stat.h>

#include <string>

namespace kvo::sim {

enum class FileState { kMissing, kRead, kUnreadable };

struct FileContents {
  FileState state = FileState::kMissing;
  std::string bytes;  // Only for kRead.
};

// The file at `path` as it is now. For kRead, `*info` (when given)
// describes the file that was read, as it was before reading.
FileContents read_contents(const std::string& path,
                           struct stat* info = nullptr);

// Appends everything left to read from `fd` to `*bytes`.
bool read_all(int fd, std::string* bytes);

// Writes all of `size` bytes, resuming after interruptions.
bool write_all(int fd, const char* data, size_t size);

// Replaces the file at `path` with `content` through a temporary file in
// the same folder and a rename. On failure the old file is untouched, no
// temporary file is left and `*error` says why.
bool write_file_atomically(const std::string& path, const std::string& content,
                           std::string* error);

}  // namespace kvo::sim

#endif  // KVO_SIM_FILE_IO_H_
