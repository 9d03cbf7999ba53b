#include <unistd.h>

#include "archive/archive.h"
#include "archive/archive_directory.h"
#include "archive/checksum_file.h"
#include "base/log.h"
#include "base/shell_command.h"
#include "platform/utils.h"

namespace kvo {
namespace {

// SQLite's side files of the database at `path`: a rollback journal or a
// write-ahead log left by a process that died mid-transaction is rolled
// into whatever file next bears that name.
void remove_side_files(const std::string& path) {
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    unlink((path + suffix).c_str());
  }
}

}  // namespace

void Archive::initialize() {
  log_printf(LOG_INFO, "Initializing archive (%s)", name_.c_str());
  if (kvo_mkdir_create_parents(archive_dir_.c_str()) == 0) {
    std::vector<ArchiveEntry> entries = list_archives(archive_dir_);
    for (const ArchiveEntry& entry : entries) {
      log_printf(LOG_NOTICE, "Init:Found archive %s", entry.name.c_str());
    }
    // A bad archive is deleted before the next older one is tried, so it
    // is never tried again at a later start.
    for (uint32_t number : numbers_newest_first(entries)) {
      std::string path = archive_path(archive_dir_, number);
      log_printf(LOG_NOTICE, "Loading archive (%s)", path.c_str());
      if (load_archive(path) == 0) {
        next_archive_number_ = next_number(number);
        break;
      }
      unlink(path.c_str());
      log_printf(LOG_NOTICE, "Removing bad archive (%s)", path.c_str());
    }
  }
  remove_old_archives();
  log_printf(LOG_INFO, "Finished initializing archive (%s)", name_.c_str());
}

int Archive::load_archive(const std::string& path) {
  const std::string md5_path = kVolatileDir + name_ + ".md5";
  // Staging files of an earlier backup or unpacking must not stand in for a
  // member this archive lacks: what is checked below is what it held.
  unlink(backup_db_path_.c_str());
  remove_side_files(backup_db_path_);
  unlink(md5_path.c_str());
  if (extract_tar_file_to_dir(path.c_str(), kVolatileDir) != 0) {
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

}  // namespace kvo
