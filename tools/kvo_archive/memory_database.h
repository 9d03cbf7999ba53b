// A database copy opened read-only from memory with sqlite3_deserialize:
// nothing is written, no journal is looked for, and memory stays the size
// of the copy.
#ifndef KVO_TOOLS_KVO_ARCHIVE_MEMORY_DATABASE_H_
#define KVO_TOOLS_KVO_ARCHIVE_MEMORY_DATABASE_H_

#include <cstdint>
#include <string>

#include "archive/database_check.h"
#include "base/sqlite_handle.h"

namespace kvo::archive_tool {

// What the table `data` of a database holds.
struct DataSummary {
  int64_t rows = 0;
  int64_t keys = 0;
  std::string first_time;  // Sample times as stored (UTC), empty if none.
  std::string last_time;
};

class MemoryDatabase {
 public:
  MemoryDatabase() = default;

  MemoryDatabase(const MemoryDatabase&) = delete;
  MemoryDatabase& operator=(const MemoryDatabase&) = delete;

  // Takes `bytes` and checks them as start-up checks an archived copy
  // (archive/database_check.h); the verdict, with its reason.
  DatabaseCheck open(std::string bytes);

  bool summarize(DataSummary* summary, std::string* error) const;

  sqlite3* get() const { return db_.get(); }

 private:
  std::string bytes_;  // Outlives db_, which reads it in place.
  SqliteDb db_;
};

// The error of the connection's last call, for messages.
std::string sqlite_error(sqlite3* db);

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_MEMORY_DATABASE_H_
