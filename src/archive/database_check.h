// Whether a SQLite database is one the service can work on: its pages are
// sound, and `data` is a table that takes the rows sampling inserts and
// gives back what restoring reads, with nothing of its own that runs on an
// insert. The one rule for an archived copy before start-up loads it, for a
// working database whose statements fail, and for kvo-archive's verdicts.
#ifndef KVO_ARCHIVE_DATABASE_CHECK_H_
#define KVO_ARCHIVE_DATABASE_CHECK_H_

#include <sqlite3.h>

#include <string>

namespace kvo {

enum class Fitness {
  kUsable,
  kDamaged,     // No database, or its pages fail the integrity check.
  kNoTable,     // Sound, but without a table `data`.
  kOtherShape,  // Sound, but `data` is not a table the service can use.
  // SQLite could not tell (an I/O error, no memory, a lock): the fault lies
  // outside the database, which may well be usable.
  kUnknown,
};

struct DatabaseCheck {
  Fitness fitness = Fitness::kUsable;
  std::string reason;  // Why not, for a message; empty when usable.

  bool unusable() const {
    return fitness != Fitness::kUsable && fitness != Fitness::kUnknown;
  }
};

// Checks the main database of `db`. With `integrity`, SQLite's quick_check
// reads every page first; without, only the schema is looked at, which
// costs a few lookups whatever the size. Reads only.
DatabaseCheck check_database(sqlite3* db, bool integrity);

// The same for the database file at `path`, opened read-only on its own
// connection.
DatabaseCheck check_database_file(const std::string& path);

// True for the result codes (primary or extended) by which SQLite says that
// a file is damaged or is no database at all.
bool is_damage(int rc);

}  // namespace kvo

#endif  // KVO_ARCHIVE_DATABASE_CHECK_H_
