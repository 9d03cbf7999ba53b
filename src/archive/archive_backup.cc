#include <unistd.h>

#include "archive/archive.h"
#include "archive/archive_directory.h"
#include "archive/archive_names.h"
#include "base/log.h"
#include "base/shell_command.h"
#include "platform/utils.h"

namespace kvo {

int Archive::backup(uint32_t now) {
  log_printf(LOG_INFO, "Backing up archive (%s)", name_.c_str());
  if (next_archive_time_ == 0) return 0;
  if (!load_waiting_archive(now)) return hold_back_backup(now);

  // The shell's .backup gives a consistent copy while our own connection
  // stays open and idle.
  std::string copy_command =
      "/usr/bin/sqlite3 " + db_path_ + " \".backup '" + backup_db_path_ + "'\"";
  samples_lost_ = false;
  save_to_db(now, true);
  // A save whose batch was lost to a database replaced or mended since must
  // be made again: the copy must hold every total.
  if (samples_lost_) save_to_db(now, /*force=*/true);
  int status = exec_command(copy_command);
  if (status != 0) {
    log_printf(LOG_NOTICE, "Error backing up archive (%s:%d)",
               copy_command.c_str(), status);
    return status;
  }

  log_printf(LOG_INFO, "Creating tar");
  status = make_archive_file();
  if (status != 0) {
    // Schedule and number stay, so the next update retries the whole
    // backup under the same number.
    log_printf(LOG_INFO, "Error creating tar");
    return status;
  }

  log_printf(LOG_INFO, "Finished backing up archive (%s)", name_.c_str());
  next_archive_time_ = now + archive_period_;
  sync_to_fs(0);
  // Rotation still sees the number of the archive just written, which
  // keeps it out of the three it counts.
  remove_old_archives();
  next_archive_number_ = next_number(next_archive_number_);
  return 0;
}

int Archive::make_archive_file() {
  const std::string staged_tar = kVolatileDir + name_ + ".tar";

  std::string md5_command =
      "md5sum " + backup_db_path_ + " > " + kVolatileDir + checksum_name(name_);
  int status = exec_command(md5_command);
  if (status != 0) {
    log_printf(LOG_NOTICE, "Error creating md5 file (%s:%d)",
               md5_command.c_str(), status);
    return status;
  }

  std::string tar_command = "tar -cf " + staged_tar + " -C " + kVolatileDir +
                            " " + backup_copy_name(name_) + " " +
                            checksum_name(name_);
  status = exec_command(tar_command);
  if (status != 0) {
    log_printf(LOG_NOTICE, "Error creating tar file (%s:%d)",
               tar_command.c_str(), status);
    return status;
  }

  const std::string target = archive_path(archive_dir_, next_archive_number_);
  std::string move_command = "mv " + staged_tar + " " + target;
  status = run_command(move_command);
  if (status != 0) {
    // A move across file systems copies: on full storage it leaves a
    // partial archive under the number the retry will write again.
    unlink(target.c_str());
    log_printf(LOG_NOTICE, "Error moving tar file to NV (%s:%d)",
               move_command.c_str(), status);
    return status;
  }
  return 0;
}

}  // namespace kvo
