#include "tar_extract.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "file_io.h"
#include "libarchive_loader.h"
#include "unique_fd.h"

namespace kvo::sim {
namespace {

using ArchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;

enum class Member { kFile, kSkip, kRefused };

// How a member is treated; for kFile, `*name` is its file name in dir.
Member classify(const LibArchive& la, archive_entry* entry, std::string* name) {
  const char* path = la.entry_pathname(entry);
  if (path == nullptr) return Member::kRefused;
  std::string text(path);
  if (text.compare(0, 2, "./") == 0) text.erase(0, 2);
  mode_t type = la.entry_filetype(entry);
  if (text.empty() || text == ".") {
    return type == AE_IFDIR ? Member::kSkip : Member::kRefused;
  }
  // Some tar variants give a hard link the type of a regular file; its
  // link target gives it away.
  if (type != AE_IFREG || la.entry_hardlink(entry) != nullptr || text == ".." ||
      text.find('/') != std::string::npos || text.size() > NAME_MAX) {
    return Member::kRefused;
  }
  *name = text;
  return Member::kFile;
}

// The files unpacked so far under temporary names in dir, and the names
// they take when the archive has been read to its end. Whatever is not
// committed is removed.
class PendingFiles {
 public:
  explicit PendingFiles(int dir_fd) : dir_fd_(dir_fd) {}
  ~PendingFiles() {
    for (const File& file : files_) {
      ::unlinkat(dir_fd_, file.temporary.c_str(), 0);
    }
  }

  PendingFiles(const PendingFiles&) = delete;
  PendingFiles& operator=(const PendingFiles&) = delete;

  // A new, empty temporary file for the member `name`; -1 on failure.
  int create(const std::string& name) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temporary = ".kvo-extract-" + std::to_string(::getpid()) +
                              "-" + std::to_string(counter++);
      // O_EXCL opens no existing file and follows no symbolic link.
      int fd = ::openat(dir_fd_, temporary.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0) {
        files_.push_back(File{temporary, name});
        return fd;
      }
      if (errno != EEXIST) return -1;
    }
    return -1;
  }

  // Renames every file over its member name, in archive order.
  bool commit() {
    for (const File& file : files_) {
      struct stat info;
      if (::fstatat(dir_fd_, file.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) ==
              0 &&
          S_ISDIR(info.st_mode)) {
        return false;
      }
    }
    for (size_t i = 0; i < files_.size(); ++i) {
      if (::renameat(dir_fd_, files_[i].temporary.c_str(), dir_fd_,
                     files_[i].name.c_str()) != 0) {
        files_.erase(files_.begin(), files_.begin() + i);
        return false;
      }
    }
    files_.clear();
    return true;
  }

 private:
  struct File {
    std::string temporary;
    std::string name;
  };

  int dir_fd_;
  std::vector<File> files_;
};

bool copy_data(const LibArchive& la, archive* reader, int fd) {
  char buffer[65536];
  for (;;) {
    la_ssize_t n = la.read_data(reader, buffer, sizeof(buffer));
    if (n == 0) return true;
    if (n < 0 || !write_all(fd, buffer, static_cast<size_t>(n))) return false;
  }
}

bool unpack(const LibArchive& la, archive* reader, archive_entry* entry,
            const std::string& name, PendingFiles* pending) {
  UniqueFd fd(pending->create(name));
  return fd.valid() && copy_data(la, reader, fd.get()) &&
         ::fchmod(fd.get(), la.entry_perm(entry) & 0755) == 0 && fd.close();
}

}  // namespace

bool extract_tar(const char* tar, const char* dir) {
  if (tar == nullptr || dir == nullptr) return false;
  UniqueFd dir_fd(::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir_fd.valid()) return false;
  const LibArchive la;
  if (!la.loaded()) return false;
  ArchiveReader reader(la.read_new(), la.read_free);
  if (!reader || la.read_support_format_tar(reader.get()) != ARCHIVE_OK ||
      la.read_open_filename(reader.get(), tar, 10240) != ARCHIVE_OK) {
    return false;
  }
  PendingFiles pending(dir_fd.get());
  for (;;) {
    archive_entry* entry = nullptr;
    int result = la.read_next_header(reader.get(), &entry);
    if (result == ARCHIVE_EOF) return pending.commit();
    if (result != ARCHIVE_OK) return false;
    std::string name;
    Member member = classify(la, entry, &name);
    if (member == Member::kRefused) return false;
    if (member == Member::kFile &&
        !unpack(la, reader.get(), entry, name, &pending)) {
      return false;
    }
  }
}

}  // namespace kvo::sim
