// Owners of SQLite handles, so that every path out of an operation closes
// its connection or finalizes its statement exactly once.
#ifndef KVO_BASE_SQLITE_HANDLE_H_
#define KVO_BASE_SQLITE_HANDLE_H_

#include <sqlite3.h>

namespace kvo {

// Owns one connection; closes it on destruction or reset.
class SqliteDb {
 public:
  SqliteDb() = default;
  ~SqliteDb() { reset(); }

  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  sqlite3* get() const { return db_; }
  explicit operator bool() const { return db_ != nullptr; }

  // For sqlite3_open; any connection held before is closed first.
  sqlite3** out() {
    reset();
    return &db_;
  }

  void reset() {
    if (db_ != nullptr) {
      sqlite3_close(db_);
      db_ = nullptr;
    }
  }

 private:
  sqlite3* db_ = nullptr;
};

// Owns one prepared statement; finalizes it on destruction.
class SqliteStatement {
 public:
  SqliteStatement() = default;
  ~SqliteStatement() { sqlite3_finalize(stmt_); }

  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  sqlite3_stmt* get() const { return stmt_; }

  // For sqlite3_prepare_v2; any statement held before is finalized first.
  sqlite3_stmt** out() {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    return &stmt_;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace kvo

#endif  // KVO_BASE_SQLITE_HANDLE_H_
