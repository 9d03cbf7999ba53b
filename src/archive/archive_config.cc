#include <json/value.h>

#include "archive/archive.h"
#include "base/log.h"
#include "platform/utils.h"

namespace kvo {
namespace {

// One element of "list", converted the way JsonCpp's asString, asBool and
// asUInt convert, except that whatever those would throw on, and fractions
// that asUInt would silently cut, make the element unreadable.
struct ConfigEntry {
  std::string name;
  bool save_to_db = false;
  uint16_t period = 0;
  uint16_t send_to_log = 0;
  uint16_t log_period = 0;
  bool restore = false;
};

bool read_text(const Json::Value& value, std::string* out) {
  if (value.isArray() || value.isObject()) return false;
  *out = value.asString();
  // The platform's C interface sees a name only up to its first NUL: cut it
  // there, so the key sampled, stored and restored is the one looked up.
  size_t nul = out->find('\0');
  if (nul != std::string::npos) out->resize(nul);
  return true;
}

bool read_flag(const Json::Value& value, bool* out) {
  if (!value.isNull() && !value.isBool() && !value.isNumeric()) return false;
  *out = value.asBool();
  return true;
}

// Only the low 16 bits of the unsigned 32-bit value are kept.
bool read_low16(const Json::Value& value, uint16_t* out) {
  if (value.isNull() || value.isBool()) {
    *out = value.asBool() ? 1 : 0;
    return true;
  }
  if (!value.isUInt()) return false;  // Negative, fractional or above 32 bits.
  *out = static_cast<uint16_t>(value.asUInt());
  return true;
}

// Fills `entry` from `element`; on failure returns the offending member.
const char* read_entry(const Json::Value& element, ConfigEntry* entry) {
  if (!element.isNull() && !element.isObject()) return "entry";
  if (!read_text(element["name"], &entry->name)) return "name";
  if (!read_flag(element["save_to_db"], &entry->save_to_db)) {
    return "save_to_db";
  }
  if (!read_low16(element["period"], &entry->period)) return "period";
  if (!read_low16(element["send_to_log"], &entry->send_to_log)) {
    return "send_to_log";
  }
  if (!read_low16(element["log_period"], &entry->log_period)) {
    return "log_period";
  }
  if (!read_flag(element["restore"], &entry->restore)) return "restore";
  return nullptr;
}

// The entries of `config`, or null when it has none that can be read.
const Json::Value* config_list(const Json::Value& config,
                               const std::string& name) {
  if (config.isNull()) return nullptr;
  if (!config.isObject()) {
    log_printf(LOG_NOTICE, "Config is not an object (%s)", name.c_str());
    return nullptr;
  }
  const Json::Value& list = config["list"];
  if (list.isNull()) return nullptr;
  if (!list.isArray()) {
    log_printf(LOG_NOTICE, "Config list is not an array (%s)", name.c_str());
    return nullptr;
  }
  return &list;
}

}  // namespace

void Archive::apply_config(const Json::Value& config, uint32_t size,
                           uint32_t period) {
  log_printf(LOG_INFO, "Updating archive config (%s)", name_.c_str());
  keys_.clear();
  max_page_count_ = (size & 0xFFF) * kPagesPerMiB;
  archive_period_ = period * 60;

  bool saves_to_db = false;
  if (const Json::Value* list = config_list(config, name_)) {
    for (Json::ArrayIndex i = 0; i < list->size(); ++i) {
      ConfigEntry entry;
      if (const char* bad = read_entry((*list)[i], &entry)) {
        log_printf(LOG_NOTICE, "Skipping config entry %u: bad %s (%s)", i, bad,
                   name_.c_str());
        continue;
      }
      add_key(entry.name, entry.save_to_db, entry.period, entry.send_to_log,
              entry.log_period, entry.restore);
      // Counts even when add_key refused the key.
      saves_to_db = saves_to_db || entry.save_to_db;
    }
  }

  next_archive_time_ = saves_to_db ? fwtime_s(0) + archive_period_ : 0;
  log_printf(LOG_DEBUG, "Max size:%u Period:%u (%s)", max_page_count_ << 12,
             archive_period_, name_.c_str());
}

}  // namespace kvo
