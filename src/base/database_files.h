// The files SQLite keeps beside a database file.
#ifndef KVO_BASE_DATABASE_FILES_H_
#define KVO_BASE_DATABASE_FILES_H_

#include <string>

namespace kvo {

// Removes the rollback journal, write-ahead log and shared-memory file of
// the database at `path`. Whatever of them a process left behind is rolled
// into the next file that bears that name, so a file put there afresh must
// not meet them.
void remove_side_files(const std::string& path);

}  // namespace kvo

#endif  // KVO_BASE_DATABASE_FILES_H_
