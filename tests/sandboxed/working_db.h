// Helpers of the tests on the device's folders: a clean start, and reading
// or preparing a working database the way another process would.
#ifndef KVO_TESTS_SANDBOXED_WORKING_DB_H_
#define KVO_TESTS_SANDBOXED_WORKING_DB_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "base/sqlite_handle.h"
#include "support/archive_peer.h"
#include "support/files.h"
#include "support/log_capture.h"

namespace kvo {

namespace testing_db {

constexpr char kStatsDb[] = "/var/volatile/kvo/stats.db";

// Column 0 of every row of `sql`, as text (NULL as "").
inline std::vector<std::string> query(sqlite3* db, const std::string& sql) {
  std::vector<std::string> values;
  SqliteStatement stmt;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, stmt.out(), nullptr);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(db);
  while (rc == SQLITE_OK && sqlite3_step(stmt.get()) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    values.push_back(text == nullptr
                         ? std::string()
                         : std::string(reinterpret_cast<const char*>(text),
                                       sqlite3_column_bytes(stmt.get(), 0)));
  }
  return values;
}

inline int64_t query_int(sqlite3* db, const std::string& sql) {
  std::vector<std::string> values = query(db, sql);
  EXPECT_EQ(values.size(), 1u) << sql;
  return values.empty() ? -1 : std::stoll(values.front());
}

// Rowids first to last.
inline std::vector<int64_t> rowids(sqlite3* db) {
  std::vector<int64_t> ids;
  for (const std::string& id :
       query(db, "SELECT rowid FROM data ORDER BY rowid")) {
    ids.push_back(std::stoll(id));
  }
  return ids;
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

// Bytes that SQLite cannot take for a database header.
inline std::string garbage() {
  std::string bytes;
  for (int i = 0; i < 4096; ++i) bytes += static_cast<char>(i * 37 % 251);
  return bytes;
}

// Empties the device folders (and the tests' own unpacking folder), so that
// a test sees the same start whether or not others ran before it in the
// sandbox.
inline void clear_device_folders() {
  for (const char* dir :
       {"/var/volatile/kvo", "/var/data/kvo", "/tmp/unpacked"}) {
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(dir, ignored)) {
      std::filesystem::remove_all(entry.path(), ignored);
    }
  }
}

// A test on the device's folders, starting from empty ones, with every line
// the service logs captured.
class DeviceTest : public ::testing::Test {
 protected:
  DeviceTest() { clear_device_folders(); }

  LogCapture log_;
};

}  // namespace testing_db
}  // namespace kvo

#endif  // KVO_TESTS_SANDBOXED_WORKING_DB_H_
