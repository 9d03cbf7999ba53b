#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "archive/archive.h"
#include "archive/archive_names.h"
#include "archive/archive_order.h"
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

// How long a kept archive rests after a try that failed all the same: a
// minute of the platform clock at first, at most an archive period.
constexpr uint32_t kFirstRetryDelay = 60;
constexpr uint32_t kLongestRetryDelay = 30 * 60;

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
  const LoadWalk walk = walk_newest_first(numbers, [this](uint32_t number) {
    std::string path = archive_path(archive_dir_, number);
    log_printf(LOG_NOTICE, "Loading archive (%s)", path.c_str());
    const int result = load_archive(path);
    if (result == 0) return LoadAttempt::kLoaded;
    if (result == kArchiveKept) return LoadAttempt::kKept;
    unlink(path.c_str());
    log_printf(LOG_NOTICE, "Removing bad archive (%s)", path.c_str());
    return LoadAttempt::kRejected;
  });
  archive_waiting_ = walk.outcome == LoadAttempt::kKept;
  if (walk.outcome != LoadAttempt::kLoaded) return false;
  next_archive_number_ = next_number(walk.number);
  return true;
}

int Archive::load_archive(const std::string& path) {
  const int unpacked = unpack_archive(path);
  if (unpacked != 0) return unpacked;
  // The checksum proves the copy is what a backup wrote, not that it is a
  // database the service can use.
  const DatabaseCheck check = check_database_file(backup_db_path_);
  // A read-only check of a write-ahead-log copy leaves its side files.
  remove_side_files(backup_db_path_);
  if (check.fitness == Fitness::kUnknown) {
    return keep_archive(path, check.reason);
  }
  if (check.fitness != Fitness::kUsable) {
    log_printf(LOG_NOTICE, "Unusable database in tar file (%s:%s)",
               path.c_str(), check.reason.c_str());
    return -1;
  }
  // Gone before the move: a crash between the two leaves the old database
  // without its journal, which the next start replaces again, never the
  // archived copy beside a journal that would roll the old pages into it.
  db_.reset();  // At a late load, the connection's file is being replaced.
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

int Archive::unpack_archive(const std::string& path) {
  const std::string md5_path = kVolatileDir + checksum_name(name_);
  // Staging files of an earlier backup or unpacking must not stand in for a
  // member this archive lacks: what is checked below is what it held. A
  // journal left beside the copy must not be rolled into it.
  unlink(backup_db_path_.c_str());
  remove_side_files(backup_db_path_);
  unlink(md5_path.c_str());
  // Asked before unpacking and again after a failure, so that room another
  // process takes or gives back meanwhile is not blamed on the archive.
  int error = volatile_storage_error(path);
  if (error != 0) return keep_archive(path, strerror(error));
  if (extract_tar_file_to_dir(path.c_str(), kVolatileDir) != 0) {
    error = volatile_storage_error(path);
    if (error != 0) return keep_archive(path, strerror(error));
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
  return 0;
}

int Archive::volatile_storage_error(const std::string& path) {
  uint64_t bytes = 0;
  if (!archive_size(path, &bytes)) return 0;
  const int error = storage_room(kVolatileDir, bytes + kUnpackMargin);
  // A file system too small for the archive altogether will never take it:
  // that archive is no backup of this device.
  return error == EFBIG ? 0 : error;
}

int Archive::keep_archive(const std::string& path, const std::string& why) {
  unlink(backup_db_path_.c_str());
  unlink((kVolatileDir + checksum_name(name_)).c_str());
  log_printf(LOG_NOTICE, "Keeping archive for a later load (%s:%s)",
             path.c_str(), why.c_str());
  return kArchiveKept;
}

int Archive::hold_back_backup(uint32_t now) {
  log_printf(LOG_NOTICE, "Backup held back until archive loads (%s)",
             name_.c_str());
  next_archive_time_ = now + archive_period_;
  return 0;
}

bool Archive::load_waiting_archive(uint32_t now) {
  if (!archive_waiting_) return true;
  // Unsigned: a clock set back does not hold the next try off.
  if (now - load_retry_time_ < load_retry_delay_) return false;
  std::vector<uint32_t> numbers =
      numbers_newest_first(list_archives(archive_dir_));
  uint64_t bytes = 0;
  if (!numbers.empty() &&
      archive_size(archive_path(archive_dir_, numbers[0]), &bytes) &&
      !storage_has_free(kVolatileDir, bytes + kUnpackMargin)) {
    return false;  // Still no room: nothing to try, nothing to log.
  }
  if (!load_newest_archive(numbers)) {
    if (!archive_waiting_) return true;  // Every archive was bad.
    load_retry_time_ = now;
    load_retry_delay_ = std::min(
        std::max(kFirstRetryDelay, 2 * load_retry_delay_), kLongestRetryDelay);
    return false;
  }
  db_unusable_ = false;  // Whatever was found of the old file, it is gone.
  remove_old_archives();
  restore_values();
  return true;
}

}  // namespace kvo
