#include "kvo_archive/database_source.h"

#include <sys/stat.h>

#include <cstring>
#include <utility>

#include "base/unique_fd.h"
#include "kvo_archive/archive_judgement.h"

namespace kvo::archive_tool {
namespace {

constexpr char kSqliteHeader[] = "SQLite format 3";  // With its NUL: 16.

}  // namespace

bool open_database_source(const std::string& path,
                          std::unique_ptr<MemoryDatabase>* database,
                          std::string* warning, std::string* error) {
  // A working database is no larger than an archive's copy.
  InputFile input(path, kMemberCap);
  if (!input.valid()) {
    *error = path + ": " + input.error();
    return false;
  }
  std::string bytes;
  if (input.head(sizeof(kSqliteHeader)) ==
      std::string(kSqliteHeader, sizeof(kSqliteHeader))) {
    auto opened = std::make_unique<MemoryDatabase>();
    if (!input.read_all(kMemberCap, &bytes, error)) {
      *error = path + ": " + *error;
      return false;
    }
    const DatabaseCheck check = opened->open(std::move(bytes));
    if (check.fitness != Fitness::kUsable) {
      *error = path + ": " + check.reason;
      return false;
    }
    struct stat journal;
    if (!input.is_stdin() &&
        ::stat((path + "-journal").c_str(), &journal) == 0 &&
        journal.st_size > 0) {
      // The service's next open rolls it back onto the file; what is shown
      // here may hold an unfinished transaction.
      *warning = path + ": " + path +
                 "-journal is not empty: rows of an unfinished transaction "
                 "may show";
    }
    *database = std::move(opened);
    return true;
  }
  Judgement judgement = judge_archive(input, instance_of(input));
  const std::string state = state_text(judgement);
  if (!judgement.database) {
    *error = path + ": " + state;
    return false;
  }
  if (judgement.state != ArchiveState::kGood) {
    *warning = path + ": " + state + "; reading its database copy anyway";
  }
  *database = std::move(judgement.database);
  return true;
}

}  // namespace kvo::archive_tool
