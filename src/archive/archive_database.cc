// The working database's connection, its settings and its one table.
#include <string>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "archive/archive.h"
#include "archive/insert_pieces.h"
#include "archive/schema.h"
#include "base/log.h"

namespace kvo {
namespace {

constexpr char kPageCountQuery[] = "PRAGMA page_count";

// SQLite's default page cache grows to 2 MB a connection, and a VACUUM of a
// full database fills it (its temporary copy takes the same bound). A small
// cache costs no measurable time on a file in RAM and keeps the service's
// memory the same whatever the databases hold. It is a setting of the
// connection, invisible in the file, so it is applied without a word.
constexpr char kCacheSizePragma[] = "PRAGMA cache_size=-80";  // In KiB.

// Hands the heap's free pages back to the system. The VACUUM of a full
// database leaves hundreds of kB free inside the heap, which would stay
// resident for the life of the process.
void release_free_memory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

}  // namespace

int Archive::open_db() {
  if (db_unusable_) return replace_unusable_db();
  if (db_) return 0;
  if (sqlite3_open(db_path_.c_str(), db_.out()) != SQLITE_OK) {
    log_printf(LOG_NOTICE, "Error opening db (%s)", db_path_.c_str());
    // A failed open may still hand back a handle that must be closed.
    db_.reset();
    return -1;
  }
  remember_db_file();
  sqlite3_exec(db_.get(), kCacheSizePragma, nullptr, nullptr, nullptr);
  set_max_page_count(kHardPageLimit);
  disable_sync();
  return 0;
}

int Archive::exec_sql(const std::string& sql, const std::vector<size_t>& cuts) {
  // No connection is the callers' mistake; report it like any failed
  // statement rather than hand SQLite a null handle.
  const int rc = !db_           ? SQLITE_MISUSE
                 : cuts.empty() ? sqlite3_exec(db_.get(), sql.c_str(), nullptr,
                                               nullptr, nullptr)
                                : insert_in_pieces(db_.get(), sql, cuts);
  if (rc != SQLITE_OK) {
    log_printf(LOG_NOTICE, "Error exec cmd (%d:%s)", rc, sql.c_str());
  }
  return rc;
}

int Archive::set_max_page_count(uint32_t pages) {
  const std::string sql = "PRAGMA max_page_count=" + std::to_string(pages);
  log_printf(LOG_INFO, "Setting max page count:%u", pages);
  if (open_db() != 0) return -1;
  return exec_sql(sql);
}

int Archive::disable_sync() {
  log_printf(LOG_INFO, "Setting disabling sync");
  if (open_db() != 0) return -1;
  return exec_sql("PRAGMA synchronous=0");
}

int Archive::create_schema() {
  if (open_db() != 0) return -1;
  // The auto-vacuum mode of an existing file only changes through VACUUM;
  // with it, deleted rows give their pages back at every commit.
  int first_failure = SQLITE_OK;
  for (const char* sql : {"PRAGMA auto_vacuum=FULL", "VACUUM", kCreateTable}) {
    const int rc = exec_sql(sql);
    note_damage(rc);
    if (first_failure == SQLITE_OK) first_failure = rc;
  }
  release_free_memory();
  return first_failure;
}

int Archive::get_page_count(uint32_t* pages) {
  *pages = 0;
  if (open_db() != 0) return -1;
  SqliteStatement stmt;
  int rc = sqlite3_prepare_v2(db_.get(), kPageCountQuery,
                              sizeof(kPageCountQuery), stmt.out(), nullptr);
  if (rc != SQLITE_OK) {
    log_printf(LOG_NOTICE, "Error getting page count (%d:%s)", rc,
               kPageCountQuery);
    note_damage(rc);
    return rc;
  }
  int count = 0;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    count = sqlite3_column_int(stmt.get(), 0);
  }
  *pages = count > 0 ? static_cast<uint32_t>(count) : 0;
  note_damage(rc);
  return rc == SQLITE_DONE ? 0 : rc;
}

}  // namespace kvo
