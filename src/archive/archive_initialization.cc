#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/archive.h"
#include "archive/archive_directory.h"
#include "archive/checksum_file.h"
#include "archive/database_check.h"
#include "base/database_files.h"
#include "base/log.h"
#include "base/shell_command.h"
#include "base/storage_room.h"
#include "platform/utils.h"

namespace kvo {
namespace {

// Beyond an archive's own size, room for what unpacking rounds up (each
// member fills whole pages) and for the checks that follow.
constexpr uint64_t kUnpackMargin = 64 * 1024;

// How long a waiting archive rests after an attempt that failed anyway, in
// seconds of the platform clock.
constexpr uint32_t kWaitingRetrySeconds = 60;

// The size of the archive file at `path`; false when there is no such
// regular file, which is then the archive's own fault.
bool archive_size(const std::string& path, uint64_t* bytes) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *bytes = static_cast<uint64_t>(info.st_size);
  return true;
}

}  // namespace

void Archive::initialize() {
  log_printf(LOG_INFO, "Initializing archive (%s)", name_.c_str());
  if (kvo_mkdir_create_parents(archive_dir_.c_str()) == 0) {
    std::vector<ArchiveEntry> entries = list_archives(archive_dir_);
    for (const ArchiveEntry& entry : entries) {
      log_printf(LOG_NOTICE, "Init:Found archive %s", entry.name.c_str());
    }
    load_newest_archive(numbers_newest_first(entries));
  }
  remove_old_archives();
  log_printf(LOG_INFO, "Finished initializing archive (%s)", name_.c_str());
}

bool Archive::load_newest_archive(const std::vector<uint32_t>& numbers) {
  archive_waiting_ = false;
  // A bad archive is deleted before the next older one is tried, so it is
  // never tried again at a later start. One that volatile storage could not
  // take stays, and so do all older ones: it may be the newest good one.
  for (uint32_t number : numbers) {
    std::string path = archive_path(archive_dir_, number);
    log_printf(LOG_NOTICE, "Loading archive (%s)", path.c_str());
    const int result = load_archive(path);
    if (result == 0) {
      next_archive_number_ = next_number(number);
      return true;
    }
    if (result == kArchiveKept) {
      archive_waiting_ = true;
      return false;
    }
    unlink(path.c_str());
    log_printf(LOG_NOTICE, "Removing bad archive (%s)", path.c_str());
  }
  return false;
}

int Archive::load_archive(const std::string& path) {
  const std::string md5_path = kVolatileDir + name_ + ".md5";
  // Staging files of an earlier backup or unpacking must not stand in for a
  // member this archive lacks: what is checked below is what it held.
  unlink(backup_db_path_.c_str());
  remove_side_files(backup_db_path_);
  unlink(md5_path.c_str());
  if (extract_tar_file_to_dir(path.c_str(), kVolatileDir) != 0) {
    uint64_t bytes = 0;
    if (archive_size(path, &bytes) && volatile_storage_failed(path, bytes)) {
      return kArchiveKept;
    }
    log_printf(LOG_NOTICE, "Error extracting tar file (%s)", path.c_str());
    return -1;
  }
  // check_md5 verifies whatever file the checksum names; only the copy just
  // unpacked may be the one verified.
  if (!checksum_names_only(md5_path, backup_db_path_) ||
      check_md5(md5_path.c_str(), false) != 0) {
    log_printf(LOG_NOTICE, "Bad tar file (%s)", path.c_str());
    return -1;
  }
  // The checksum proves the copy is what a backup wrote, not that it is a
  // database the service can use; a journal the archive also held must not
  // be rolled into it first.
  remove_side_files(backup_db_path_);
  const DatabaseCheck check = check_database_file(backup_db_path_);
  if (check.fitness == Fitness::kUnknown && volatile_storage_failed(path, 0)) {
    return kArchiveKept;
  }
  if (check.fitness != Fitness::kUsable) {
    log_printf(LOG_NOTICE, "Unusable database in tar file (%s:%s)",
               path.c_str(), check.reason.c_str());
    return -1;
  }
  // Gone before the move: a crash between the two leaves the old database
  // without its journal, which the next start replaces again, never the
  // archived copy beside a journal that would roll the old pages into it.
  remove_side_files(db_path_);
  std::string move_command = "mv " + backup_db_path_ + " " + db_path_;
  int status = exec_command(move_command);
  // A working database already in place still serves, even when the move
  // itself failed.
  if (access(db_path_.c_str(), F_OK) == 0) return 0;
  log_printf(LOG_NOTICE, "Error moving file (%s:%d)", move_command.c_str(),
             status);
  return -1;
}

bool Archive::volatile_storage_failed(const std::string& path, uint64_t bytes) {
  const int error = storage_room(kVolatileDir, bytes + kUnpackMargin);
  // A file system too small for the archive altogether will never take it:
  // that archive is no backup of this device.
  if (error == 0 || error == EFBIG) return false;
  log_printf(LOG_NOTICE, "Keeping archive, volatile storage failed (%s:%s)",
             path.c_str(), strerror(error));
  return true;
}

bool Archive::load_waiting_archive(uint32_t now) {
  if (!archive_waiting_) return true;
  // Unsigned: a clock set back does not hold the next attempt off.
  if (load_retried_ && now - load_retry_time_ < kWaitingRetrySeconds) {
    return false;
  }
  std::vector<uint32_t> numbers =
      numbers_newest_first(list_archives(archive_dir_));
  uint64_t bytes = 0;
  if (!numbers.empty() &&
      archive_size(archive_path(archive_dir_, numbers[0]), &bytes) &&
      !storage_has_free(kVolatileDir, bytes + kUnpackMargin)) {
    return false;  // Still no room: nothing to try, nothing to log.
  }
  load_retried_ = true;
  load_retry_time_ = now;
  // The file under the connection is about to be replaced.
  db_.reset();
  if (!load_newest_archive(numbers)) return !archive_waiting_;
  db_unusable_ = false;  // Whatever was found of the old file, it is gone.
  db_fresh_ = false;
  remove_old_archives();
  restore_values();
  return true;
}

}  // namespace kvo
