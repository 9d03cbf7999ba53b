#include <cstdio>

#include "archive/archive.h"
#include "archive/key_value.h"
#include "base/log.h"
#include "base/sql_literal.h"
#include "platform/sysdb.h"

namespace kvo {
namespace {

constexpr char kInsertHeader[] = "INSERT into data (key,value) VALUES ";
// Room for a typical tuple, so that the statement is rarely reallocated.
constexpr size_t kTupleReserve = 48;

}  // namespace

void Archive::update(uint32_t now) {
  send_to_log(now);
  log_printf(LOG_DEBUG, "update: next_archive_time:%u", next_archive_time_);
  if (next_archive_time_ == 0) return;  // Nothing is configured for saving.
  if (next_archive_time_ >= now) {
    save_to_db(now, false);
    return;
  }
  backup(now);  // Samples every saved key itself before copying.
}

int Archive::save_to_db(uint32_t now, bool force) {
  log_printf(LOG_DEBUG, "Saving sysdb to db");
  if (open_db() != 0) return -1;

  std::string sql;
  sql.reserve(sizeof(kInsertHeader) + keys_.size() * kTupleReserve);
  sql = kInsertHeader;
  uint16_t count = 0;
  for (auto& [name, key] : keys_) {
    log_printf(LOG_DEBUG, "Update:%u key:%s save:%u now:%u sample:%u",
               force ? 1u : 0u, name.c_str(), key.save_to_db ? 1u : 0u, now,
               key.next_sample_time);
    if (!key.save_to_db) continue;
    if (!force && key.next_sample_time > now) continue;

    Json::Value read;
    if (sysdb_namedb_read_json(nullptr, key.namedb.c_str(), name.c_str(),
                               &read) != 0) {
      continue;  // Due again at the next call.
    }
    const Json::Value* value = key_member(read, name);
    if (value == nullptr) continue;
    double number;
    std::string tuple;
    if (stored_number(*value, key.key_type, &number)) {
      tuple = save_double(name, number);
    } else if (value->isString()) {
      tuple = save_string(name, value->asString());
    } else {
      continue;  // No usable value: the clock stays, as after a failed read.
    }

    if (count > 0) sql += ',';
    sql += tuple;
    ++count;
    key.next_sample_time = now + key.period;
  }
  log_printf(LOG_INFO, "Copied %u entries", count);
  if (count > 0) add_entries(sql);
  return 0;
}

std::string Archive::save_double(const std::string& name, double value) {
  // The longest "%f" of a finite double: sign, 309 digits, point, 6 decimals.
  char number[320];
  const int length = std::snprintf(number, sizeof(number), "%f", value);
  const std::string quoted_name = sql_quote(name);
  std::string tuple;
  tuple.reserve(quoted_name.size() + static_cast<size_t>(length) + 5);
  tuple += "('";
  tuple += quoted_name;
  tuple += "',";
  tuple.append(number, static_cast<size_t>(length));
  tuple += ')';
  log_printf(LOG_DEBUG, "Saving %s = %lf", name.c_str(), value);
  return tuple;
}

std::string Archive::save_string(const std::string& name,
                                 const std::string& text) {
  const std::string quoted_name = sql_quote(name);
  const std::string quoted_text = sql_quote(text);
  std::string tuple;
  tuple.reserve(quoted_name.size() + quoted_text.size() + 7);
  tuple += "('";
  tuple += quoted_name;
  tuple += "','";
  tuple += quoted_text;
  tuple += "')";
  log_printf(LOG_DEBUG, "Saving %s = %s", name.c_str(), text.c_str());
  return tuple;
}

}  // namespace kvo
