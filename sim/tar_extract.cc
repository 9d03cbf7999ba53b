#include "tar_extract.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/tar_member_rule.h"
#include "base/unique_fd.h"
#include "file_io.h"
#include "libarchive_loader.h"

namespace kvo::sim {
namespace {

using ArchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;

constexpr char kStagePrefix[] = ".kvo-extract-";

// The entry names of the folder open as `dir_fd`, "." and ".." left out;
// none when it cannot be listed.
std::vector<std::string> entry_names(int dir_fd) {
  std::vector<std::string> names;
  UniqueFd copy(::dup(dir_fd));
  DIR* listing = copy.valid() ? ::fdopendir(copy.get()) : nullptr;
  if (listing == nullptr) return names;
  copy.release();  // The listing owns it now.
  while (const dirent* entry = ::readdir(listing)) {
    if (std::strcmp(entry->d_name, ".") != 0 &&
        std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  ::closedir(listing);
  return names;
}

// Staging folders left by a process killed while it unpacked: no call is
// under way but this one (the platform serves one thread), so every such
// folder is stale, and left alone they would fill volatile storage.
void remove_stale_stages(int dir_fd) {
  for (const std::string& name : entry_names(dir_fd)) {
    if (name.compare(0, sizeof(kStagePrefix) - 1, kStagePrefix) != 0) continue;
    UniqueFd stage_fd(::openat(
        dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!stage_fd.valid()) continue;
    for (const std::string& file : entry_names(stage_fd.get())) {
      ::unlinkat(stage_fd.get(), file.c_str(), 0);
    }
    ::unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR);
  }
}

// The members unpacked so far, each under its own name in a private folder
// that mkdtemp made inside dir, to be renamed into dir once the archive has
// been read to its end. A member name is a bare file name and the folder's
// name is unpredictable, so no member can land on another's staged file.
// Whatever is not committed is removed with the folder.
class PendingFiles {
 public:
  // `dir` is the path of `dir_fd`; valid() says whether the folder is made.
  PendingFiles(int dir_fd, const char* dir)
      : dir_fd_(dir_fd), stage_fd_(make_stage(dir_fd, dir, &stage_)) {}
  ~PendingFiles() {
    for (const std::string& name : names_) {
      ::unlinkat(stage_fd_.get(), name.c_str(), 0);
    }
    if (!stage_.empty()) ::unlinkat(dir_fd_, stage_.c_str(), AT_REMOVEDIR);
  }

  PendingFiles(const PendingFiles&) = delete;
  PendingFiles& operator=(const PendingFiles&) = delete;

  bool valid() const { return stage_fd_.valid(); }

  // An empty staged file for the member `name`; a later member of the same
  // name replaces it, as tar does. -1 on failure.
  int create(const std::string& name) {
    int fd =
        ::openat(stage_fd_.get(), name.c_str(),
                 O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 &&
        std::find(names_.begin(), names_.end(), name) == names_.end()) {
      names_.push_back(name);
    }
    return fd;
  }

  // Renames every staged file over its member name, in archive order.
  bool commit() {
    for (const std::string& name : names_) {
      struct stat info;
      if (::fstatat(dir_fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISDIR(info.st_mode)) {
        return false;
      }
    }
    for (size_t i = 0; i < names_.size(); ++i) {
      if (::renameat(stage_fd_.get(), names_[i].c_str(), dir_fd_,
                     names_[i].c_str()) != 0) {
        names_.erase(names_.begin(), names_.begin() + i);
        return false;
      }
    }
    names_.clear();
    return true;
  }

 private:
  static int make_stage(int dir_fd, const char* dir, std::string* stage) {
    std::string pattern = std::string(dir) + "/" + kStagePrefix + "XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) return -1;
    *stage = pattern.substr(pattern.rfind('/') + 1);
    return ::openat(dir_fd, stage->c_str(),
                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }

  int dir_fd_;
  std::string stage_;
  UniqueFd stage_fd_;
  std::vector<std::string> names_;
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
  remove_stale_stages(dir_fd.get());
  PendingFiles pending(dir_fd.get(), dir);
  if (!pending.valid()) return false;
  for (;;) {
    archive_entry* entry = nullptr;
    int result = la.read_next_header(reader.get(), &entry);
    if (result == ARCHIVE_EOF) return pending.commit();
    if (result != ARCHIVE_OK) return false;
    const TarMember member =
        judge_tar_member(la.entry_pathname(entry), la.entry_filetype(entry),
                         la.entry_hardlink(entry) != nullptr);
    if (member.verdict == MemberVerdict::kRefuse) return false;
    if (member.verdict == MemberVerdict::kTake &&
        !unpack(la, reader.get(), entry, member.name, &pending)) {
      return false;
    }
  }
}

}  // namespace kvo::sim
