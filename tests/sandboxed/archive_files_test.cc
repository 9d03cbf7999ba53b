// Archive files on the device's folders: numbers read from names as the
// device reads them, rotation, start-up loading and the backup's steps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_directory.h"
#include "support/archive_peer.h"
#include "support/device.h"

namespace kvo {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;
using ::testing::Contains;
using ::testing::StartsWith;

TEST(ArchiveNumberTest, ReadsAsScanfsUnsignedConversion) {
  const std::vector<std::pair<const char*, uint32_t>> cases = {
      {"7.tar", 7},
      {"0012.tar", 12},
      {" \t7.tar.part", 7},
      {"+7.tar", 7},
      {"-1.tar", 4294967295u},
      {"4294967296.tar", 4294967295u},
      {"99999999999999999999999.tar", 4294967295u}};
  for (const auto& [name, expected] : cases) {
    uint32_t number = 0;
    EXPECT_TRUE(read_archive_number(name, &number)) << name;
    EXPECT_EQ(number, expected) << name;
  }
  uint32_t number = 0;
  EXPECT_FALSE(read_archive_number("x5.tar", &number));
  EXPECT_EQ(next_number(4294967295u), 4294967295u);
}

class ArchiveFilesTest : public DeviceTest {
 protected:
  ArchiveFilesTest() { fs::create_directories(kStatsArchives); }
  void touch(const Names& names) {
    for (const std::string& name : names)
      write_file(kStatsArchives + name, "x");
  }
  std::string marker() { return sql(kStatsDb, "SELECT value FROM data"); }

  Archive stats_{"stats"};
};

TEST_F(ArchiveFilesTest, RotationKeepsThreeBelowTheNextNumber) {
  const Names ten = {"0.tar", "1.tar", "2.tar", "3.tar", "4.tar",
                     "5.tar", "6.tar", "7.tar", "8.tar", "9.tar"};
  struct Case {
    Names files;
    uint32_t next;
    Names kept;
  };
  const std::vector<Case> cases = {
      {ten, 9, {"6.tar", "7.tar", "8.tar", "9.tar"}},
      {ten, 10, {"7.tar", "8.tar", "9.tar"}},
      {ten, 0, ten},
      {{"12.tar.old", "11.tar", "10.tar", "9.tar", "notes.tar", "x5.tar", "5"},
       13,
       {"12.tar.old", "11.tar", "10.tar", "notes.tar", "x5.tar", "5"}},
      {{"0012.tar", "3.tar", "2.tar", "1.tar"},
       13,
       {"0012.tar", "3.tar", "2.tar"}},
      {{"5.tar", "5.tar.old", "4.tar", "3.tar"},
       6,
       {"5.tar", "5.tar.old", "4.tar"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(kStatsArchives);
    fs::create_directories(kStatsArchives);
    touch(c.files);
    ArchivePeer::set_backup_state(stats_, 0, 0, c.next);
    stats_.remove_old_archives();
    EXPECT_EQ(names_in(kStatsArchives), c.kept) << "next " << c.next;
  }
  EXPECT_EQ(log_.count("Removing old archive (" + kStatsArchives + "5.tar)"),
            2);
}

TEST_F(ArchiveFilesTest,
       StartUpTriesNumbersReadFromOddNamesAndKeepsAPresentDb) {
  touch({"7.tar.part", "8.tar"});  // Neither is a tar file.
  Archive fresh("stats");
  fresh.initialize();
  EXPECT_EQ(fresh.next_archive_number(), 0u);
  EXPECT_EQ(names_in(kStatsArchives), Names{"7.tar.part"});
  EXPECT_EQ(
      log_.count("Error extracting tar file (" + kStatsArchives + "7.tar)"), 1);

  // A move that fails over a working database still counts as loaded.
  make_archive("stats", 5, "five");
  sql(kStatsDb, std::string(kCreateTable) +
                    "; INSERT INTO data (key,value) VALUES ('MARK','old')");
  setenv("PATH", "/nothing", 1);
  stats_.initialize();
  setenv("PATH", "/usr/bin:/bin", 1);
  EXPECT_EQ(stats_.next_archive_number(), 6u);
  EXPECT_EQ(marker(), "old\n");
}

// Among several good archives the newest is loaded, after the bad one above
// it is removed (it lacks its checksum, and the one an earlier unpacking
// left behind must not stand in); rotation then keeps three below the next
// number. The journal a crash left beside the working database must not
// roll its old pages into the loaded copy.
TEST_F(ArchiveFilesTest, StartUpLoadsTheNewestGoodArchiveThenRotates) {
  for (uint32_t number = 1; number <= 6; ++number) {
    make_archive("stats", number, "m" + std::to_string(number));
  }
  shell("cd " + std::string(kVolatileDir) + " && tar -xf " + kStatsArchives +
        "6.tar && tar -cf " + kStatsArchives + "6.tar stats_bak.db");
  sql(kStatsDb, std::string(kCreateTable) +
                    "; INSERT INTO data (key,value) VALUES ('MARK','old')");
  shell("cd " + std::string(kVolatileDir) +
        " && printf 'PRAGMA synchronous=OFF;\nBEGIN;\nUPDATE data SET "
        "value=1;\n.shell cp stats.db-journal hot\nROLLBACK;\n' | sqlite3 "
        "stats.db && mv hot stats.db-journal");
  stats_.initialize();
  EXPECT_EQ(marker(), "m5\n");
  EXPECT_EQ(stats_.next_archive_number(), 6u);
  EXPECT_EQ(names_in(kStatsArchives), (Names{"3.tar", "4.tar", "5.tar"}));
}

TEST_F(ArchiveFilesTest, BackupWritesTheNextNumberOrKeepsItsStateForARetry) {
  sim_.set_key("VEH_ODOMETER", "VEH", KEY_TYPE_DOUBLE, 812);
  stats_.initialize();
  Json::Value config;
  config["list"][0]["name"] = "VEH_ODOMETER";
  config["list"][0]["save_to_db"] = true;
  stats_.apply_config(config, 3, 30);
  stats_.create_schema();
  ArchivePeer::set_backup_state(stats_, 1000, 1800, 41);

  // Each failing step: the copy, md5sum, tar, the move.
  const std::string path = std::string(kVolatileDir) + "stats_bak.db";
  fs::create_directories(path);
  EXPECT_NE(stats_.backup(5000), 0);
  fs::remove(path);
  setenv("PATH", "/nothing", 1);  // Neither md5sum nor tar nor mv is found.
  EXPECT_NE(stats_.backup(5000), 0);
  setenv("PATH", "/usr/bin:/bin", 1);
  fs::remove_all(kStatsArchives);
  EXPECT_NE(stats_.backup(5000), 0);
  EXPECT_EQ(log_.count("Error creating tar"), 2);
  EXPECT_EQ(stats_.next_archive_time(), 1000u);
  EXPECT_EQ(stats_.next_archive_number(), 41u);

  fs::create_directories(kStatsArchives);
  touch({"37.tar", "38.tar", "39.tar", "40.tar", "50.tar"});
  EXPECT_EQ(stats_.backup(5000), 0);
  EXPECT_EQ(stats_.next_archive_time(), 6800u);
  EXPECT_EQ(stats_.next_archive_number(), 42u);
  EXPECT_EQ(names_in(kStatsArchives),
            (Names{"38.tar", "39.tar", "40.tar", "41.tar", "50.tar"}));
  EXPECT_EQ(shell("tar -tf " + kStatsArchives + "41.tar"),
            "stats_bak.db\nstats.md5\n");
  EXPECT_EQ(
      shell("cd / && md5sum -c " + std::string(kVolatileDir) + "stats.md5"),
      path + ": OK\n");
  EXPECT_EQ(sql(path, "SELECT count(*) FROM data"), "4\n");  // Each try saved.
  EXPECT_FALSE(fs::exists(std::string(kVolatileDir) + "stats.tar"));
}

TEST_F(ArchiveFilesTest, AnUnusableWorkingDatabaseIsSetAsideForAFreshOne) {
  sim_.set_key("VEH_ODOMETER", "VEH", KEY_TYPE_DOUBLE, 812);
  Json::Value config;
  config["list"][0]["name"] = "VEH_ODOMETER";
  config["list"][0]["save_to_db"] = true;
  stats_.apply_config(config, 3, 30);
  stats_.restore_values();
  const std::string other = std::string(kVolatileDir) + "other.db";
  // Overwritten in place, its table replaced, another file moved over it,
  // removed, an index that refuses rows: each while the connection is open,
  // and each set aside. A table merely dropped is made again in place.
  const std::vector<std::pair<std::string, int>> damages = {
      {"head -c 8192 /dev/urandom >" + kStatsDb, 1},
      {"sqlite3 " + kStatsDb + " 'DROP TABLE data; CREATE TABLE data (k)'", 1},
      {"sqlite3 " + other + " 'CREATE TABLE t (x)'; mv " + other + " " +
           kStatsDb,
       1},
      {"rm " + kStatsDb, 1},
      {"sqlite3 " + kStatsDb +
           " 'DELETE FROM data WHERE rowid > (SELECT min(rowid) FROM data); "
           "CREATE UNIQUE INDEX u ON data (key)'",
       1},
      {"sqlite3 " + kStatsDb + " 'DROP TABLE data'", 0}};
  uint32_t number = 0;
  for (const auto& [damage, set_aside] : damages) {
    stats_.save_to_db(1000, true);
    shell(damage);
    log_.clear();
    ArchivePeer::set_backup_state(stats_, 1000, 1800, number);
    EXPECT_EQ(stats_.backup(5000), 0);
    // The backup right after carries the totals in a usable database.
    const std::string copy = std::string(kVolatileDir) + "copy.db";
    shell("tar -xOf " + kStatsArchives + std::to_string(number++) +
          ".tar stats_bak.db >" + copy);
    EXPECT_EQ(sql(copy, "SELECT key, value FROM data"), "VEH_ODOMETER|812.0\n")
        << damage;
    EXPECT_THAT(
        log_.texts(LOG_NOTICE),
        Contains(StartsWith("Working database unusable")).Times(set_aside))
        << damage;
  }
  EXPECT_EQ(sql(std::string(kVolatileDir) + "stats_unusable.db",
                "SELECT name FROM sqlite_master"),
            "data\nu\n");  // The last one set aside, for a look.
}

}  // namespace
}  // namespace kvo
