// Shared steps of the archive file tests: databases told apart by a marker,
// archives built the way a backup builds them, and a failing stand-in for a
// tool put first on PATH.
#ifndef KVO_TESTS_SANDBOXED_ARCHIVE_FILES_SUPPORT_H_
#define KVO_TESTS_SANDBOXED_ARCHIVE_FILES_SUPPORT_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "sandboxed/working_db.h"
#include "support/files.h"

namespace kvo {

namespace files_test {

namespace fs = std::filesystem;

constexpr char kVolatile[] = "/var/volatile/kvo/";

// Adds a row whose value is `marker` to the working-database table of the
// database at `path`, creating both as needed.
inline void add_marker(const std::string& path, const std::string& marker) {
  shell("/usr/bin/sqlite3 " + path + " \"" + kCreateTable +
        "; INSERT INTO data (key,value) VALUES ('MARK','" + marker + "');\"");
}

// The markers in the database at `path`, one a line.
inline std::string markers(const std::string& path) {
  return shell("/usr/bin/sqlite3 " + path + " \"SELECT value FROM data\"");
}

inline void touch(const std::string& path) { std::ofstream(path).put('x'); }

// How an archive is spoilt before it is packed.
enum class Fault { kNone, kWrongChecksum, kChangedAfterChecksum };

// Packs a database marked `marker` into archive_dir/`number`.tar of the
// instance `name` with the very commands a backup runs, then clears the
// staging files so that nothing left in volatile storage helps a load.
inline void make_archive(const std::string& name, uint32_t number,
                         const std::string& marker,
                         Fault fault = Fault::kNone) {
  const std::string staging = kVolatile + name;
  const std::string dir = "/var/data/kvo/archive/" + name + "/";
  fs::create_directories(dir);
  fs::remove(staging + "_bak.db");
  add_marker(staging + "_bak.db", marker);
  shell("md5sum " + staging + "_bak.db > " + staging + ".md5");
  if (fault == Fault::kWrongChecksum) {
    shell("sed -i 's/^[0-9a-f]*/" + std::string(32, '0') + "/' " + staging +
          ".md5");
  }
  if (fault == Fault::kChangedAfterChecksum) {
    shell("/usr/bin/sqlite3 " + staging +
          "_bak.db \"UPDATE data SET value='x'\"");
  }
  shell("tar -cf " + dir + std::to_string(number) + ".tar -C " + kVolatile +
        " " + name + "_bak.db " + name + ".md5");
  fs::remove(staging + "_bak.db");
  fs::remove(staging + ".md5");
}

// Puts a stand-in for `tool` that exits with `exit_code` first on PATH
// while in scope.
class FailingTool {
 public:
  FailingTool(const std::string& tool, int exit_code) {
    std::string pattern =
        (fs::temp_directory_path() / "kvo-tool-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    dir_ = pattern;
    std::ofstream(dir_ + "/" + tool) << "#!/bin/sh\nexit " << exit_code << "\n";
    fs::permissions(dir_ + "/" + tool, fs::perms::owner_all);
    const char* path = getenv("PATH");
    saved_path_ = path != nullptr ? path : "/usr/bin:/bin";
    setenv("PATH", (dir_ + ":" + saved_path_).c_str(), 1);
  }
  ~FailingTool() {
    setenv("PATH", saved_path_.c_str(), 1);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  FailingTool(const FailingTool&) = delete;
  FailingTool& operator=(const FailingTool&) = delete;

 private:
  std::string dir_;
  std::string saved_path_;
};

}  // namespace files_test
}  // namespace kvo

#endif  // KVO_TESTS_SANDBOXED_ARCHIVE_FILES_SUPPORT_H_
