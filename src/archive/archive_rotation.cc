#include <unistd.h>

#include "archive/archive.h"
#include "archive/archive_order.h"
#include "base/log.h"

namespace kvo {

void Archive::remove_old_archives() {
  log_printf(LOG_INFO, "Removing old archives (%s)", name_.c_str());
  std::vector<ArchiveEntry> entries = list_archives(archive_dir_);
  for (const ArchiveEntry& entry : entries) {
    log_printf(LOG_NOTICE, "Found archive %s", entry.name.c_str());
  }
  for (uint32_t number : numbers_rotated_out(entries, next_archive_number_)) {
    std::string path = archive_path(archive_dir_, number);
    unlink(path.c_str());
    log_printf(LOG_NOTICE, "Removing old archive (%s)", path.c_str());
  }
  log_printf(LOG_INFO, "Finished removing old archives (%s)", name_.c_str());
}

}  // namespace kvo
