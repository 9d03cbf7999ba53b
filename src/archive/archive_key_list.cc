#include "archive/archive.h"
#include "base/log.h"
#include "platform/sysdb.h"

namespace kvo {

void Archive::add_key(const std::string& name, bool save_to_db, uint16_t period,
                      uint16_t send_to_log, uint16_t log_period, bool restore) {
  // Only the low 16 bits of the type code count.
  const uint16_t type = static_cast<uint16_t>(
      static_cast<uint32_t>(sysdb_get_key_type(name.c_str())));
  if (type != KEY_TYPE_INT && type != KEY_TYPE_DOUBLE &&
      type != KEY_TYPE_STRING) {
    return;
  }
  const char* namedb = sysdb_get_namedb(name.c_str());
  if (namedb == nullptr) return;

  ArchiveKey& key = keys_[name];
  key.namedb = namedb;
  key.key_type = type;
  key.save_to_db = save_to_db;
  key.period = period;
  key.next_sample_time = 0;
  key.send_to_log = send_to_log;
  key.log_period = log_period;
  key.next_log_time = 0;
  key.restore = restore;
  log_printf(LOG_INFO, "Added key %s to the list", name.c_str());
}

}  // namespace kvo
