// Test and benchmark programs have SQLite allocate as the service does,
// from before anything opens a database.
#include "base/sqlite_memory.h"

namespace {

const int kFreeLists = kvo::use_sqlite_free_lists();

}  // namespace
