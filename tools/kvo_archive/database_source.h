// Opens what dump and last read rows from: a working database file such
// as stats.db, or the database copy inside an archive file.
#ifndef KVO_TOOLS_KVO_ARCHIVE_DATABASE_SOURCE_H_
#define KVO_TOOLS_KVO_ARCHIVE_DATABASE_SOURCE_H_

#include <memory>
#include <string>

#include "kvo_archive/memory_database.h"

namespace kvo::archive_tool {

// The database of the file at `path`, read into memory. False with the
// reason in `*error`. An archive that is not good but still carries a
// readable copy opens, with the reason in `*warning`.
bool open_database_source(const std::string& path,
                          std::unique_ptr<MemoryDatabase>* database,
                          std::string* warning, std::string* error);

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_DATABASE_SOURCE_H_
