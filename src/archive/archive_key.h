// One sampled key's settings, what the system database reports about it, and
// its sampling and logging clocks.
#ifndef KVO_ARCHIVE_ARCHIVE_KEY_H_
#define KVO_ARCHIVE_ARCHIVE_KEY_H_

#include <cstdint>
#include <string>

namespace kvo {

// Type codes of key values, as the system database reports them.
constexpr uint16_t KEY_TYPE_INT = 2;
constexpr uint16_t KEY_TYPE_DOUBLE = 3;
constexpr uint16_t KEY_TYPE_STRING = 4;

struct ArchiveKey {
  std::string namedb;             // Named database that holds the key.
  uint32_t next_sample_time = 0;  // Sampled into the database at or after.
  uint32_t next_log_time = 0;     // Written to the system log at or after.
  uint16_t send_to_log = 0;       // Log mode; 0 = not logged.
  uint16_t key_type = 0;          // One of the KEY_TYPE_* codes.
  uint16_t period = 0;            // Seconds between samples.
  uint16_t log_period = 0;        // Seconds between log lines.
  bool save_to_db = false;
  bool restore = false;  // Written back into the system database at start.
};

}  // namespace kvo

#endif  // KVO_ARCHIVE_ARCHIVE_KEY_H_
