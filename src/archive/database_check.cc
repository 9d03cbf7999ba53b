#include "archive/database_check.h"

#include <utility>

#include "base/sqlite_handle.h"

namespace kvo {
namespace {

DatabaseCheck other_shape(std::string reason) {
  return {Fitness::kOtherShape, std::move(reason)};
}

// A query that failed with `rc`: damage is the database's own fault, any
// other failure says nothing about it.
DatabaseCheck failed(sqlite3* db, int rc) {
  return {is_damage(rc) ? Fitness::kDamaged : Fitness::kUnknown,
          sqlite3_errmsg(db)};
}

std::string column_text(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

// Runs `sql` and hands each row to `row`; SQLITE_OK or the failing code.
template <typename Row>
int each_row(sqlite3* db, const char* sql, const Row& row) {
  SqliteStatement stmt;
  int rc = sqlite3_prepare_v2(db, sql, -1, stmt.out(), nullptr);
  if (rc != SQLITE_OK) return rc;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) row(stmt.get());
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

DatabaseCheck check_pages(sqlite3* db) {
  std::string verdict;
  const int rc = each_row(db, "PRAGMA quick_check(1)", [&](sqlite3_stmt* s) {
    verdict = column_text(s, 0);
  });
  if (rc != SQLITE_OK) return failed(db, rc);
  if (verdict != "ok") {
    return {Fitness::kDamaged, "fails its integrity check"};
  }
  return {};
}

// `data` is an ordinary table and nothing in the database fires on an
// insert: the service makes neither views, virtual tables nor triggers.
DatabaseCheck check_objects(sqlite3* db) {
  std::string type, sql;
  int triggers = 0;
  const int rc = each_row(
      db, "SELECT type, sql, name FROM sqlite_master", [&](sqlite3_stmt* s) {
        const std::string object = column_text(s, 0);
        if (object == "trigger") ++triggers;
        if (sqlite3_stricmp(column_text(s, 2).c_str(), "data") == 0 &&
            object != "index") {
          type = object;
          sql = column_text(s, 1);
        }
      });
  if (rc != SQLITE_OK) return failed(db, rc);
  if (type.empty()) return {Fitness::kNoTable, "no table data"};
  if (type != "table") return other_shape("data is a " + type);
  if (sqlite3_strnicmp(sql.c_str(), "CREATE VIRTUAL", 14) == 0) {
    return other_shape("data is a virtual table");
  }
  if (triggers > 0) return other_shape("holds a trigger");
  return {};
}

// Rows have a rowid (restoring and size control order by it), the columns
// sampling writes and restoring reads are plain columns, and no other
// column refuses a row that gives it no value.
DatabaseCheck check_columns(sqlite3* db) {
  SqliteStatement stmt;
  const int prepared =
      sqlite3_prepare_v2(db, "SELECT rowid FROM data", -1, stmt.out(), nullptr);
  if (prepared == SQLITE_ERROR) return other_shape("data has no rowid");
  if (prepared != SQLITE_OK) return failed(db, prepared);
  bool has_key = false, has_value = false;
  std::string needs_value;
  const int rc = each_row(
      db,
      "SELECT name, hidden = 0, \"notnull\" AND dflt_value IS NULL AND "
      "NOT (pk = 1 AND upper(type) = 'INTEGER') "
      "FROM pragma_table_xinfo('data')",
      [&](sqlite3_stmt* s) {
        const char* name =
            reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        const bool plain = sqlite3_column_int(s, 1) != 0;
        if (name == nullptr) return;
        if (sqlite3_stricmp(name, "key") == 0) has_key = plain;
        if (sqlite3_stricmp(name, "value") == 0) has_value = plain;
        if (sqlite3_column_int(s, 2) != 0) needs_value = name;
      });
  if (rc != SQLITE_OK) return failed(db, rc);
  if (!has_key) return other_shape("data has no column key");
  if (!has_value) return other_shape("data has no column value");
  if (!needs_value.empty()) {
    return other_shape("data's column " + needs_value + " needs a value");
  }
  return {};
}

}  // namespace

DatabaseCheck check_database(sqlite3* db, bool integrity) {
  DatabaseCheck check;
  if (integrity) check = check_pages(db);
  if (check.fitness == Fitness::kUsable) check = check_objects(db);
  if (check.fitness == Fitness::kUsable) check = check_columns(db);
  return check;
}

DatabaseCheck check_database_file(const std::string& path) {
  SqliteDb db;
  if (sqlite3_open_v2(path.c_str(), db.out(), SQLITE_OPEN_READONLY, nullptr) !=
      SQLITE_OK) {
    return failed(db.get(), sqlite3_errcode(db.get()));
  }
  // The integrity check reads every page once: a small cache costs it
  // nothing and keeps start-up's memory what the service's is.
  sqlite3_exec(db.get(), "PRAGMA cache_size=-80", nullptr, nullptr, nullptr);
  return check_database(db.get(), true);
}

bool is_damage(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

}  // namespace kvo
