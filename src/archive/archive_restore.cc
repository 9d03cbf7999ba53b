// Writing the last archived value of each restorable key back into the
// system database, so that totals survive a power cycle.
#include <cstdint>
#include <limits>
#include <string>

#include "archive/archive.h"
#include "archive/restore_query.h"
#include "base/log.h"
#include "base/sql_literal.h"
#include "platform/sysdb.h"

namespace kvo {
namespace {

// A value outside the signed 32-bit range (only a foreign database can hold
// one) is clamped rather than wrapped into an unrelated number.
int32_t column_int32(sqlite3_stmt* stmt) {
  const int64_t value = sqlite3_column_int64(stmt, 0);
  if (value > std::numeric_limits<int32_t>::max()) {
    return std::numeric_limits<int32_t>::max();
  }
  if (value < std::numeric_limits<int32_t>::min()) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(value);
}

// Writes column 0 of the current row as a value of `type`; the write's
// result, 0 for SQL NULL (nothing to write), -1 for a type not restored.
int write_value(sqlite3_stmt* stmt, uint16_t type, const char* namedb,
                const char* key) {
  switch (type) {
    case KEY_TYPE_INT: {
      const int32_t value = column_int32(stmt);
      const int rc = sysdb_namedb_write_int(nullptr, namedb, key, value, 0);
      log_printf(LOG_DEBUG, "Val:%d (%d)", value, rc);
      return rc;
    }
    case KEY_TYPE_DOUBLE: {
      const double value = sqlite3_column_double(stmt, 0);
      const int rc = sysdb_namedb_write_dbl(nullptr, namedb, key, value, 0);
      log_printf(LOG_DEBUG, "Val:%f (%d)", value, rc);
      return rc;
    }
    case KEY_TYPE_STRING: {
      const unsigned char* text = sqlite3_column_text(stmt, 0);
      // SQL NULL (never sampled here, only in a database from elsewhere)
      // yields no text: the key keeps its value, as a key without rows does.
      if (text == nullptr) return 0;
      const std::string value(reinterpret_cast<const char*>(text));
      const int rc =
          sysdb_namedb_write_str(nullptr, namedb, key, value.c_str(), 0);
      log_printf(LOG_DEBUG, "Val:%s (%d)", value.c_str(), rc);
      return rc;
    }
    default:
      return -1;
  }
}

}  // namespace

void Archive::restore_values() {
  log_printf(LOG_INFO, "Restoring archive (%s)", name_.c_str());
  // Also the first open of the process; if it fails, each key retries. A
  // file found unusable here is replaced at the first key's open.
  create_schema();
  check_shape();
  copy_to_sysdb();
  // The copy cannot fail as a whole, so its status is always 0.
  log_printf(LOG_INFO, "Finished restoring archive (%s:%d)", name_.c_str(), 0);
}

void Archive::copy_to_sysdb() {
  log_printf(LOG_INFO, "Copying archive to sysdb");
  for (const auto& [name, key] : keys_) {
    if (key.restore) restore_key(key, name);
  }
  log_printf(LOG_INFO, "Finished copying archive to sysdb");
}

int Archive::restore_key(const ArchiveKey& key, const std::string& name) {
  // The name is quoted as the sampling quotes it, so the query matches
  // exactly the rows written for this key.
  const std::string query =
      last_row_query("value", "'" + sql_quote(name) + "'");
  log_printf(LOG_INFO, "Restoring %s", name.c_str());
  if (open_db() != 0) return -1;
  // The type is asked anew: it may have changed since the configuration.
  // Only its low 16 bits carry the code.
  const uint16_t type = static_cast<uint16_t>(sysdb_get_key_type(name.c_str()));
  SqliteStatement stmt;
  const int rc = sqlite3_prepare_v2(db_.get(), query.c_str(),
                                    static_cast<int>(query.size() + 1),
                                    stmt.out(), nullptr);
  if (rc != SQLITE_OK) {
    log_printf(LOG_NOTICE, "Error getting row data (%d:%s)", rc, query.c_str());
    note_damage(rc);
    return rc;
  }
  const int step = sqlite3_step(stmt.get());
  // No row means no archived value; anything else is a read failure.
  if (step == SQLITE_DONE) return 0;
  if (step != SQLITE_ROW) {
    log_printf(LOG_NOTICE, "Error getting row data (%d:%s)", step,
               query.c_str());
    note_damage(step);
    return step;
  }
  return write_value(stmt.get(), type, key.namedb.c_str(), name.c_str());
}

}  // namespace kvo
