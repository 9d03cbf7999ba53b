// A test on the device's folders: empty /var/volatile/kvo and /var/data/kvo
// at the start, a private simulated platform, every service line captured,
// and the databases and archives read and made with the real tools.
#ifndef KVO_TESTS_SUPPORT_DEVICE_H_
#define KVO_TESTS_SUPPORT_DEVICE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "archive/paths.h"
#include "archive/schema.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/sim_dir.h"

namespace kvo {

inline const std::string kStatsDb = std::string(kVolatileDir) + "stats.db";
inline const std::string kStatsArchives = std::string(kArchiveRoot) + "stats/";

// The rows of `sql` on the database at `path` as the sqlite3 shell prints
// them, '|' between columns and one line a row.
inline std::string sql(const std::string& path, const std::string& statement) {
  return shell("/usr/bin/sqlite3 " + path + " \"" + statement + "\"");
}

// `count` rows of key 'K' holding `bytes` random bytes each, in a table
// created as the service creates it.
inline void fill(const std::string& path, int count, int bytes) {
  sql(path, std::string(kCreateTable) +
                "; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM "
                "n WHERE i<" +
                std::to_string(count) +
                ") INSERT INTO data (key,value) SELECT 'K', randomblob(" +
                std::to_string(bytes) + ") FROM n");
}

class DeviceTest : public ::testing::Test {
 protected:
  DeviceTest() {
    for (const char* dir : {kVolatileDir, kArchiveRoot}) {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
      std::filesystem::create_directories(dir);
    }
  }

  // An archive `number` of `name` holding one row ('MARK', `marker`), packed
  // with the commands a backup runs; the staging files are removed after.
  static void make_archive(const std::string& name, uint32_t number,
                           const std::string& marker) {
    const std::string staging = kVolatileDir + name;
    std::filesystem::create_directories(kArchiveRoot + name);
    sql(staging + "_bak.db", std::string(kCreateTable) +
                                 "; INSERT INTO data (key,value) VALUES "
                                 "('MARK','" +
                                 marker + "')");
    shell("cd " + std::string(kVolatileDir) + " && md5sum " + staging +
          "_bak.db > " + name + ".md5 && tar -cf " + kArchiveRoot + name + "/" +
          std::to_string(number) + ".tar " + name + "_bak.db " + name +
          ".md5 && rm " + name + "_bak.db " + name + ".md5");
  }

  SimDir sim_;
  LogCapture log_;
};

}  // namespace kvo

#endif  // KVO_TESTS_SUPPORT_DEVICE_H_
