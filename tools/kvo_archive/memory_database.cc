#include "kvo_archive/memory_database.h"

#include <utility>
#include <vector>

#include "archive/schema.h"

namespace kvo::archive_tool {
namespace {

// Runs `sql` and appends each row's columns, as text, to `*rows`.
bool query(sqlite3* db, const char* sql,
           std::vector<std::vector<std::string>>* rows) {
  SqliteStatement statement;
  if (sqlite3_prepare_v2(db, sql, -1, statement.out(), nullptr) != SQLITE_OK) {
    return false;
  }
  int result;
  while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
    std::vector<std::string>& row = rows->emplace_back();
    for (int i = 0; i < sqlite3_column_count(statement.get()); ++i) {
      const unsigned char* text = sqlite3_column_text(statement.get(), i);
      row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
  }
  return result == SQLITE_DONE;
}

// The columns of `data` as (name, declared type) rows, and its kind.
bool data_columns(sqlite3* db, std::vector<std::vector<std::string>>* rows) {
  return query(db, "SELECT type FROM sqlite_schema WHERE name = 'data'",
               rows) &&
         query(db, "SELECT name, type FROM pragma_table_info('data')", rows);
}

}  // namespace

std::string sqlite_error(sqlite3* db) {
  return db ? sqlite3_errmsg(db) : "out of memory";
}

bool MemoryDatabase::open(std::string bytes, std::string* error) {
  bytes_ = std::move(bytes);
  if (sqlite3_open_v2(":memory:", db_.out(), SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK) {
    *error = sqlite_error(db_.get());
    return false;
  }
  // A hostile copy may hold views or triggers: run nothing of its own.
  sqlite3_db_config(db_.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db_.get(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  auto* data = reinterpret_cast<unsigned char*>(bytes_.data());
  if (sqlite3_deserialize(db_.get(), "main", data, bytes_.size(), bytes_.size(),
                          SQLITE_DESERIALIZE_READONLY) != SQLITE_OK) {
    *error = sqlite_error(db_.get());
    return false;
  }
  std::vector<std::vector<std::string>> rows;
  if (!query(db_.get(), "PRAGMA quick_check", &rows)) {
    *error = sqlite_error(db_.get());
    return false;
  }
  if (rows.empty() || rows[0].empty() || rows[0][0] != "ok") {
    *error = rows.empty() || rows[0].empty() ? "fails its integrity check"
                                             : rows[0][0];
    return false;
  }
  return true;
}

bool MemoryDatabase::has_service_schema(std::string* error) const {
  SqliteDb reference;
  std::vector<std::vector<std::string>> expected, actual;
  if (sqlite3_open_v2(":memory:", reference.out(), SQLITE_OPEN_READWRITE,
                      nullptr) != SQLITE_OK ||
      sqlite3_exec(reference.get(), kCreateTable, nullptr, nullptr, nullptr) !=
          SQLITE_OK ||
      !data_columns(reference.get(), &expected) ||
      !data_columns(db_.get(), &actual)) {
    *error = sqlite_error(db_.get());
    return false;
  }
  if (actual != expected) {
    *error = actual.empty() ? "no table data" : "table data differs";
    return false;
  }
  return true;
}

bool MemoryDatabase::summarize(DataSummary* summary, std::string* error) const {
  SqliteStatement statement;
  if (sqlite3_prepare_v2(db_.get(),
                         "SELECT count(*), count(DISTINCT key), min(ts), "
                         "max(ts) FROM data",
                         -1, statement.out(), nullptr) != SQLITE_OK ||
      sqlite3_step(statement.get()) != SQLITE_ROW) {
    *error = sqlite_error(db_.get());
    return false;
  }
  auto text = [&](int column) {
    const unsigned char* value = sqlite3_column_text(statement.get(), column);
    return std::string(value ? reinterpret_cast<const char*>(value) : "");
  };
  summary->rows = sqlite3_column_int64(statement.get(), 0);
  summary->keys = sqlite3_column_int64(statement.get(), 1);
  summary->first_time = text(2);
  summary->last_time = text(3);
  return true;
}

}  // namespace kvo::archive_tool
