// A working database that became unusable while the service ran (damaged
// in memory, overwritten, its table replaced) is set aside and replaced by
// a fresh one, so that sampling and backups go on. A database that merely
// cannot be opened (a missing folder, full storage, another process's lock)
// is no damage and never set aside.
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/archive.h"
#include "archive/database_check.h"
#include "base/database_files.h"
#include "base/log.h"

namespace kvo {

void Archive::note_damage(int rc) {
  if (db_ && is_damage(rc)) db_unusable_ = true;
}

Fitness Archive::check_shape() {
  if (!db_ || db_unusable_) return Fitness::kUnknown;
  const Fitness fitness = check_database(db_.get(), false).fitness;
  if (fitness == Fitness::kDamaged || fitness == Fitness::kOtherShape) {
    db_unusable_ = true;
  }
  return fitness;
}

bool Archive::db_file_replaced() const {
  struct stat info;
  if (!db_) return false;
  return stat(db_path_.c_str(), &info) != 0 ||
         static_cast<uint64_t>(info.st_dev) != db_file_.device ||
         static_cast<uint64_t>(info.st_ino) != db_file_.inode;
}

void Archive::set_aside_db() {
  db_.reset();
  db_unusable_ = false;
  db_fresh_ = true;
  // Its journal belongs to the damaged file; left here it would be rolled
  // into the fresh one.
  remove_side_files(db_path_);
  const std::string aside = kVolatileDir + name_ + "_unusable.db";
  if (rename(db_path_.c_str(), aside.c_str()) == 0) {
    log_printf(LOG_NOTICE, "Working database unusable, set aside as %s (%s)",
               aside.c_str(), name_.c_str());
    return;
  }
  unlink(db_path_.c_str());
  log_printf(LOG_NOTICE, "Working database unusable, started afresh (%s)",
             name_.c_str());
}

}  // namespace kvo
