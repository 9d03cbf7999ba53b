// Tests' access to an Archive's private state, to set up the situations the
// operations meet in service without running everything that leads there.
#ifndef KVO_TESTS_SUPPORT_ARCHIVE_PEER_H_
#define KVO_TESTS_SUPPORT_ARCHIVE_PEER_H_

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <string>

#include "archive/archive.h"

namespace kvo {

class ArchivePeer {
 public:
  static sqlite3* db(Archive& archive) { return archive.db_.get(); }
  static uint32_t& next_archive_time(Archive& archive) {
    return archive.next_archive_time_;
  }
  static uint32_t& max_page_count(Archive& archive) {
    return archive.max_page_count_;
  }
  static bool& data_added(Archive& archive) { return archive.data_added_; }

  // The backup state as the configuration and start-up would leave it.
  static void set_backup_state(Archive& archive, uint32_t next_archive_time,
                               uint32_t archive_period,
                               uint32_t next_archive_number) {
    archive.next_archive_time_ = next_archive_time;
    archive.archive_period_ = archive_period;
    archive.next_archive_number_ = next_archive_number;
  }
};

}  // namespace kvo

#endif  // KVO_TESTS_SUPPORT_ARCHIVE_PEER_H_
