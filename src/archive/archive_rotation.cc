#include <unistd.h>

#include "archive/archive.h"
#include "archive/archive_directory.h"
#include "base/log.h"

namespace kvo {
namespace {

constexpr int kArchivesKept = 3;

}  // namespace

void Archive::remove_old_archives() {
  log_printf(LOG_INFO, "Removing old archives (%s)", name_.c_str());
  std::vector<ArchiveEntry> entries = list_archives(archive_dir_);
  for (const ArchiveEntry& entry : entries) {
    log_printf(LOG_NOTICE, "Found archive %s", entry.name.c_str());
  }
  // Archives at or above the next number are left alone: right after a
  // backup that is the archive just written.
  int kept = 0;
  for (uint32_t number : numbers_newest_first(entries)) {
    if (number >= next_archive_number_) continue;
    if (kept < kArchivesKept) {
      ++kept;
      continue;
    }
    std::string path = archive_path(archive_dir_, number);
    unlink(path.c_str());
    log_printf(LOG_NOTICE, "Removing old archive (%s)", path.c_str());
  }
  log_printf(LOG_INFO, "Finished removing old archives (%s)", name_.c_str());
}

}  // namespace kvo
