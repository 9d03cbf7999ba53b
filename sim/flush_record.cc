#include "flush_record.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "file_io.h"
#include "sim_folder.h"

namespace kvo::sim {
namespace {

constexpr char kNonVolatileDir[] = "/var/data/kvo";

// Appends a line for each regular file at or below `path`; links are not
// followed. A folder that cannot be read holds nothing durable to record.
void describe(const std::string& path, std::string* lines) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return;
  if (S_ISREG(info.st_mode)) {
    char fields[96];
    std::snprintf(
        fields, sizeof(fields), "%" PRIuMAX " %" PRIdMAX " %" PRIdMAX ".%09ld ",
        static_cast<uintmax_t>(info.st_ino),
        static_cast<intmax_t>(info.st_size),
        static_cast<intmax_t>(info.st_ctim.tv_sec), info.st_ctim.tv_nsec);
    *lines += fields + path + "\n";
    return;
  }
  if (!S_ISDIR(info.st_mode)) return;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") describe(path + "/" + name, lines);
  }
}

}  // namespace

bool record_flush() {
  std::string lines;
  std::string error;
  describe(kNonVolatileDir, &lines);
  return write_file_atomically(folder_file("flushed"), lines, &error);
}

}  // namespace kvo::sim
