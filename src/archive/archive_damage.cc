// A working database that became unusable while the service ran (damaged
// in memory, overwritten, its table replaced, its rows refused) is set
// aside and replaced by a fresh one, so that sampling and backups go on. A
// database that merely cannot be opened or written (a missing folder, full
// storage, another process's lock) is no damage and never set aside.
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/archive.h"
#include "archive/database_check.h"
#include "base/database_files.h"
#include "base/log.h"

namespace kvo {
namespace {

// The identity of the file at `path`; false with errno set when there is none.
bool file_id_of(const std::string& path, uint64_t* device, uint64_t* inode) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  *device = static_cast<uint64_t>(info.st_dev);
  *inode = static_cast<uint64_t>(info.st_ino);
  return true;
}

}  // namespace

void Archive::note_damage(int rc) {
  const int primary = rc & 0xff;
  // Writes to a file removed under the connection fail as read-only.
  if (db_ &&
      (is_damage(rc) || (primary == SQLITE_READONLY && db_file_replaced()))) {
    db_unusable_ = true;
  }
}

void Archive::diagnose_failed_batch(int rc) {
  const int primary = rc & 0xff;
  note_damage(rc);
  // The service's table has no rule of its own: rows it refuses mean the
  // table is another one (a constraint, a trigger).
  if (primary == SQLITE_CONSTRAINT || primary == SQLITE_MISMATCH) {
    db_unusable_ = static_cast<bool>(db_);
  } else if (primary != SQLITE_FULL && check_shape() == Fitness::kNoTable) {
    // Never made (storage was full) or dropped: made again in place.
    if (exec_sql(kCreateTable) == SQLITE_OK) samples_lost_ = true;
  }
  if (db_unusable_) samples_lost_ = true;
}

Fitness Archive::check_shape() {
  if (!db_ || db_unusable_) return Fitness::kUnknown;
  const Fitness fitness = check_database(db_.get(), false).fitness;
  if (fitness == Fitness::kDamaged || fitness == Fitness::kOtherShape) {
    db_unusable_ = true;
  }
  return fitness;
}

void Archive::remember_db_file() {
  if (!file_id_of(db_path_, &db_file_.device, &db_file_.inode)) {
    db_file_ = FileId();
  }
}

bool Archive::db_file_replaced() const {
  if (!db_) return false;
  FileId now;
  if (file_id_of(db_path_, &now.device, &now.inode)) {
    return now.device != db_file_.device || now.inode != db_file_.inode;
  }
  // Removed from a folder that is still there; a folder that is gone (or
  // cannot be read) is no damage of the database.
  return errno == ENOENT && access(kVolatileDir, F_OK) == 0;
}

int Archive::replace_unusable_db() {
  db_.reset();
  db_unusable_ = false;
  // Its journal belongs to the damaged file; left here it would be rolled
  // into the fresh one.
  remove_side_files(db_path_);
  const std::string aside = kVolatileDir + name_ + "_unusable.db";
  if (rename(db_path_.c_str(), aside.c_str()) == 0) {
    log_printf(LOG_NOTICE, "Working database unusable, set aside as %s (%s)",
               aside.c_str(), name_.c_str());
  } else {
    unlink(db_path_.c_str());
    log_printf(LOG_NOTICE, "Working database unusable, started afresh (%s)",
               name_.c_str());
  }
  if (open_db() != 0) return -1;
  // The table, as start-up makes it; on an empty file the mode needs no
  // VACUUM.
  exec_sql("PRAGMA auto_vacuum=FULL");
  exec_sql(kCreateTable);
  return 0;
}

}  // namespace kvo
