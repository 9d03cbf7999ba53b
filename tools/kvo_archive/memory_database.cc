#include "kvo_archive/memory_database.h"

#include <utility>

namespace kvo::archive_tool {

std::string sqlite_error(sqlite3* db) {
  return db ? sqlite3_errmsg(db) : "out of memory";
}

DatabaseCheck MemoryDatabase::open(std::string bytes) {
  bytes_ = std::move(bytes);
  if (sqlite3_open_v2(":memory:", db_.out(), SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK) {
    return {Fitness::kUnknown, sqlite_error(db_.get())};
  }
  // A hostile copy may hold views or triggers: run nothing of its own.
  sqlite3_db_config(db_.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db_.get(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  auto* data = reinterpret_cast<unsigned char*>(bytes_.data());
  if (sqlite3_deserialize(db_.get(), "main", data, bytes_.size(), bytes_.size(),
                          SQLITE_DESERIALIZE_READONLY) != SQLITE_OK) {
    return {Fitness::kUnknown, sqlite_error(db_.get())};
  }
  return check_database(db_.get(), true);
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
