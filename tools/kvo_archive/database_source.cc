#include "kvo_archive/database_source.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "base/unique_fd.h"
#include "kvo_archive/archive_judgement.h"

namespace kvo::archive_tool {
namespace {

constexpr char kSqliteHeader[] = "SQLite format 3";  // With its NUL: 16.

// Reads the whole regular file at `path` into `*bytes`.
bool read_file(const std::string& path, std::string* bytes,
               std::string* error) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info;
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = fd.valid() ? "not a regular file" : std::strerror(errno);
    return false;
  }
  bytes->resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < bytes->size()) {
    ssize_t n = ::read(fd.get(), &(*bytes)[done], bytes->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bytes->resize(done);
  return true;
}

bool is_database_file(const std::string& bytes) {
  return bytes.size() >= sizeof(kSqliteHeader) &&
         std::memcmp(bytes.data(), kSqliteHeader, sizeof(kSqliteHeader)) == 0;
}

}  // namespace

bool open_database_source(const std::string& path,
                          std::unique_ptr<MemoryDatabase>* database,
                          std::string* warning, std::string* error) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  char head[sizeof(kSqliteHeader)] = {};
  ssize_t n = ::read(fd.get(), head, sizeof(head));
  if (n == static_cast<ssize_t>(sizeof(head)) &&
      is_database_file(std::string(head, sizeof(head)))) {
    std::string bytes;
    auto opened = std::make_unique<MemoryDatabase>();
    if (!read_file(path, &bytes, error)) {
      *error = path + ": " + *error;
      return false;
    }
    const DatabaseCheck check = opened->open(std::move(bytes));
    if (check.fitness != Fitness::kUsable) {
      *error = path + ": " + check.reason;
      return false;
    }
    struct stat journal;
    if (::stat((path + "-journal").c_str(), &journal) == 0 &&
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
  Judgement judgement = judge_archive(path, instance_of(path));
  std::string state = state_name(judgement.state);
  if (!judgement.detail.empty()) state += ": " + judgement.detail;
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
