#include "archive/archive.h"
#include "archive/key_value.h"
#include "base/log.h"
#include "platform/sysdb.h"

namespace kvo {
namespace {

// Writes "name=value" for a boolean, number or text; nothing for any other
// kind, and nothing for a number of an integer key that has no 32-bit form.
void log_key_value(int priority, const std::string& name, uint16_t key_type,
                   const Json::Value& value) {
  if (value.isBool()) {
    if (value.asBool()) {
      log_printf(priority, "%s=1", name.c_str());
    } else {
      log_printf(priority, "%s=0", name.c_str());
    }
  } else if (is_number(value)) {
    if (key_type != KEY_TYPE_INT) {
      log_printf(priority, "%s=%lf", name.c_str(), value.asDouble());
      return;
    }
    int32_t number;
    if (to_int32(value.asDouble(), &number)) {
      log_printf(priority, "%s=%d", name.c_str(), number);
    }
  } else if (value.isString()) {
    log_printf(priority, "%s=%s", name.c_str(), value.asCString());
  }
}

}  // namespace

void Archive::send_to_log(uint32_t now) {
  log_printf(LOG_DEBUG, "Sending sysdb to logfile");
  for (auto& [name, key] : keys_) {
    log_printf(LOG_DEBUG, "Key:%s log mode:%u now:%u log time:%u", name.c_str(),
               key.send_to_log, now, key.next_log_time);
    if (key.send_to_log == 0 || key.next_log_time > now) continue;

    Json::Value read;
    if (sysdb_namedb_read_json(nullptr, key.namedb.c_str(), name.c_str(),
                               &read) != 0) {
      continue;  // Tried again at the next update.
    }
    const int priority = key.send_to_log == 2 ? LOG_ALERT : LOG_NOTICE;
    const Json::Value* value = key_member(read, name);
    if (value != nullptr) log_key_value(priority, name, key.key_type, *value);
    // A read that gave nothing to log still restarts the period, so an odd
    // value is not fetched again at every tick.
    key.next_log_time = now + key.log_period;
  }
}

}  // namespace kvo
