// Helpers of the working-database tests: reaching an Archive's private state,
// and reading or preparing the database file itself.
#ifndef KVO_TESTS_SANDBOXED_WORKING_DB_H_
#define KVO_TESTS_SANDBOXED_WORKING_DB_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "database/sqlite_handle.h"
#include "service/archive.h"
#include "support/archive_peer.h"

namespace kvo {

namespace testing_db {

constexpr char kStatsDb[] = "/var/volatile/kvo/stats.db";
constexpr char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, "
    "key TEXT, value BLOB)";

// Column 0 of every row of `sql`, as 64-bit integers.
inline std::vector<int64_t> query_ints(sqlite3* db, const std::string& sql) {
  std::vector<int64_t> values;
  SqliteStatement stmt;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, stmt.out(), nullptr);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(db);
  while (rc == SQLITE_OK && sqlite3_step(stmt.get()) == SQLITE_ROW) {
    values.push_back(sqlite3_column_int64(stmt.get(), 0));
  }
  return values;
}

inline int64_t query_int(sqlite3* db, const std::string& sql) {
  std::vector<int64_t> values = query_ints(db, sql);
  EXPECT_EQ(values.size(), 1u) << sql;
  return values.empty() ? -1 : values.front();
}

// Rowids first to last.
inline std::vector<int64_t> rowids(sqlite3* db) {
  return query_ints(db, "SELECT rowid FROM data ORDER BY rowid");
}

inline std::vector<int64_t> range(int64_t first, int64_t last) {
  std::vector<int64_t> values;
  for (int64_t v = first; v <= last; ++v) values.push_back(v);
  return values;
}

// `count` rows of key 'K', each holding a blob of `bytes` bytes.
inline std::string fill_sql(int count, int bytes) {
  return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE "
         "i<" +
         std::to_string(count) +
         ") INSERT INTO data (key,value) SELECT 'K', randomblob(" +
         std::to_string(bytes) + ") FROM n";
}

// A connection of the test's own, as another process would hold one.
class DbFile {
 public:
  explicit DbFile(const std::string& path) {
    EXPECT_EQ(sqlite3_open(path.c_str(), db_.out()), SQLITE_OK) << path;
  }
  void exec(const std::string& sql) {
    EXPECT_EQ(sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db_.get());
  }
  sqlite3* get() const { return db_.get(); }

 private:
  SqliteDb db_;
};

inline void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Bytes that SQLite cannot take for a database header.
inline std::string garbage() {
  std::string bytes;
  for (int i = 0; i < 4096; ++i) bytes += static_cast<char>(i * 37 % 251);
  return bytes;
}

// Each test starts without the working files a previous one left.
inline void remove_working_files() {
  for (const char* suffix : {"", "-journal"}) {
    std::error_code ignored;
    std::filesystem::remove_all(std::string(kStatsDb) + suffix, ignored);
  }
}

}  // namespace testing_db
}  // namespace kvo

#endif  // KVO_TESTS_SANDBOXED_WORKING_DB_H_
