#include "archive/archive.h"
#include "archive/insert_pieces.h"
#include "archive/key_value.h"
#include "base/log.h"
#include "base/number_text.h"
#include "base/sql_literal.h"
#include "platform/sysdb.h"

namespace kvo {
namespace {

// Room for a typical tuple, so that the statement is rarely reallocated.
constexpr size_t kTupleReserve = 48;

}  // namespace

void Archive::update(uint32_t now) {
  load_waiting_archive(now);
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
  std::vector<size_t> cuts;
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
    // The comma goes in before knowing whether a tuple follows; it is taken
    // back when none does.
    const size_t before = sql.size();
    if (count > 0) sql += ',';
    double number;
    if (stored_number(*value, key.key_type, &number)) {
      append_double(name, number, &sql);
    } else if (value->isString()) {
      append_string(name, value->asString(), &sql);
    } else {
      sql.resize(before);
      continue;  // No usable value: the clock stays, as after a failed read.
    }
    // A piece may begin with this tuple, just past its comma.
    if (count > 0 && count % kTuplesPerPiece == 0) cuts.push_back(before + 1);
    ++count;
    key.next_sample_time = now + key.period;
  }
  log_printf(LOG_INFO, "Copied %u entries", count);
  return count > 0 ? add_entries(sql, cuts) : 0;
}

std::string Archive::save_double(const std::string& name, double value) {
  std::string tuple;
  append_double(name, value, &tuple);
  return tuple;
}

std::string Archive::save_string(const std::string& name,
                                 const std::string& text) {
  std::string tuple;
  append_string(name, text, &tuple);
  return tuple;
}

void Archive::append_double(const std::string& name, double value,
                            std::string* sql) {
  char number[kFixedTextSize];
  const size_t length = fixed_text(value, number);
  *sql += "('";
  append_sql_quoted(sql, name);
  *sql += "',";
  sql->append(number, length);
  *sql += ')';
  // "%f" and "%lf" print a double alike: the number is formatted once.
  log_printf(LOG_DEBUG, "Saving %s = %s", name.c_str(), number);
}

void Archive::append_string(const std::string& name, const std::string& text,
                            std::string* sql) {
  *sql += "('";
  append_sql_quoted(sql, name);
  *sql += "','";
  append_sql_quoted(sql, text);
  *sql += "')";
  log_printf(LOG_DEBUG, "Saving %s = %s", name.c_str(), text.c_str());
}

}  // namespace kvo
