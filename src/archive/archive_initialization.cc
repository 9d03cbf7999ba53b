#include <unistd.h>

#include "archive/archive.h"
#include "archive/archive_directory.h"
#include "base/log.h"
#include "base/shell_command.h"
#include "platform/utils.h"

namespace kvo {

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
  if (extract_tar_file_to_dir(path.c_str(), kVolatileDir) != 0) {
    log_printf(LOG_NOTICE, "Error extracting tar file (%s)", path.c_str());
    return -1;
  }
  // The checksum file names the copy by its absolute path in volatile
  // storage, so this verifies the copy just unpacked.
  std::string md5_path = kVolatileDir + name_ + ".md5";
  if (check_md5(md5_path.c_str(), false) != 0) {
    log_printf(LOG_NOTICE, "Bad tar file (%s)", path.c_str());
    return -1;
  }
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
