// Keeping a working database within its size limits by deleting its oldest
// rows in bounded batches.
#include <string>

#include "archive/archive.h"
#include "base/log.h"

namespace kvo {
namespace {

constexpr int kInsertAttempts = 10;
constexpr int kSizeCheckPasses = 50;
constexpr uint32_t kDeleteBatch = 50;

constexpr char kOldestRowQuery[] =
    "SELECT rowid FROM data ORDER BY rowid ASC LIMIT 1";

// The smallest rowid of `data` into `*rowid`, or SQLITE_DONE when the table
// has no row, or the SQLite code of a failed read. The query is finalized
// before returning, so the caller's DELETE runs with no statement pending.
int oldest_rowid(sqlite3* db, uint64_t* rowid) {
  SqliteStatement stmt;
  int rc = sqlite3_prepare_v2(db, kOldestRowQuery, sizeof(kOldestRowQuery),
                              stmt.out(), nullptr);
  if (rc != SQLITE_OK) {
    log_printf(LOG_NOTICE, "Error getting top data row (%d:%s)", rc,
               kOldestRowQuery);
    return rc;
  }
  rc = sqlite3_step(stmt.get());
  if (rc == SQLITE_ROW) {
    *rowid = static_cast<uint64_t>(sqlite3_column_int64(stmt.get(), 0));
    return SQLITE_OK;
  }
  // An empty table is normal; anything else is a read failure.
  if (rc != SQLITE_DONE) {
    log_printf(LOG_NOTICE, "Error getting top data row (%d:%s)", rc,
               kOldestRowQuery);
  }
  return rc;
}

}  // namespace

int Archive::add_entries(const std::string& sql,
                         const std::vector<size_t>& cuts) {
  if (open_db() != 0) return -1;
  int rc = SQLITE_OK;
  for (int attempt = 0; attempt < kInsertAttempts; ++attempt) {
    rc = exec_sql(sql, cuts);
    if (rc == SQLITE_OK) {
      data_added_ = true;
      return 0;
    }
    if (rc != SQLITE_FULL) break;
    delete_old_entries(kDeleteBatch);
  }
  log_printf(LOG_NOTICE, "Error adding entry (%d:%s)", rc, sql.c_str());
  diagnose_failed_batch(rc);
  return rc;
}

int Archive::delete_old_entries(uint32_t count) {
  log_printf(LOG_NOTICE, "Deleting old entries (%s)", name_.c_str());
  if (open_db() != 0) {
    log_printf(LOG_NOTICE, "Failed to open db");
    return -1;
  }
  uint64_t first = 0;
  const int rc = oldest_rowid(db_.get(), &first);
  if (rc == SQLITE_DONE) return 0;
  if (rc != SQLITE_OK) {
    note_damage(rc);
    return rc;
  }
  // Unsigned arithmetic on purpose: it cannot overflow into undefined
  // behaviour, whatever rowids a foreign database holds.
  const uint64_t last = first + count;
  log_printf(LOG_DEBUG, "Deleting row %llu-%llu",
             static_cast<unsigned long long>(first),
             static_cast<unsigned long long>(last));
  // Rowid 0 is never written here; a table starting there is left alone.
  if (first == 0) return 0;
  const int deleted =
      exec_sql("DELETE FROM data WHERE rowid<=" + std::to_string(last));
  note_damage(deleted);
  return deleted;
}

void Archive::check_size() {
  log_printf(LOG_DEBUG, "check_size: next_archive_time:%u data_added:%u (%s)",
             next_archive_time_, data_added_ ? 1u : 0u, name_.c_str());
  if (next_archive_time_ == 0 || !data_added_) return;
  for (int pass = 0; pass < kSizeCheckPasses; ++pass) {
    // A count that cannot be read is 0, taken as within the limit.
    uint32_t pages;
    get_page_count(&pages);
    log_printf(LOG_DEBUG, "Page count:%u (max page count:%u)", pages,
               max_page_count_);
    if (pages <= max_page_count_) {
      data_added_ = false;
      return;
    }
    delete_old_entries(kDeleteBatch);
  }
  // Still too large: data_added_ stays set, so the next check goes on.
}

}  // namespace kvo
