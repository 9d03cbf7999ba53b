#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <syslog.h>

#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_key.h"
#include "sandboxed/archive_files_support.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

using files_test::FailingTool;
using ::testing::ElementsAre;
using Names = std::set<std::string>;

namespace fs = std::filesystem;

constexpr char kDir[] = "/var/data/kvo/archive/stats/";
constexpr char kCopy[] =
    "/usr/bin/sqlite3 /var/volatile/kvo/stats.db \".backup "
    "'/var/volatile/kvo/stats_bak.db'\"";
constexpr char kMd5[] =
    "md5sum /var/volatile/kvo/stats_bak.db > /var/volatile/kvo/stats.md5";
constexpr char kTar[] =
    "tar -cf /var/volatile/kvo/stats.tar -C /var/volatile/kvo/ stats_bak.db "
    "stats.md5";

// Lines as "<priority> <text>", which read well in a failure report.
std::string info(const std::string& text) { return "6 " + text; }
std::string notice(const std::string& text) { return "5 " + text; }
std::string exec(const std::string& command) { return "7 Exec:" + command; }

class BackupTest : public testing_db::DeviceTest {
 protected:
  BackupTest() {
    files_test::add_marker("/var/volatile/kvo/stats.db", "before");
    fs::create_directories(kDir);
  }

  // The lines of the backup itself: the first, then from the copy command
  // on, leaving out the forced sample's lines between them and the listing
  // lines of the rotation, which come in folder order.
  std::vector<std::string> backup_lines() const {
    std::vector<std::string> lines;
    bool copying = false;
    for (const LogLine& line : log_.lines()) {
      copying = copying || line.text == std::string("Exec:") + kCopy;
      if (!lines.empty() && !copying) continue;
      if (line.text.rfind("Found archive ", 0) == 0) continue;
      lines.push_back(std::to_string(line.priority) + " " + line.text);
    }
    return lines;
  }

  // The lines of a backup whose archive file failed at `failure`.
  static std::vector<std::string> failed_at(std::vector<std::string> commands,
                                            const std::string& failure) {
    std::vector<std::string> lines = {info("Backing up archive (stats)"),
                                      exec(kCopy), info("Creating tar")};
    for (const std::string& command : commands) lines.push_back(exec(command));
    lines.push_back(notice(failure));
    lines.push_back(info("Error creating tar"));
    return lines;
  }

  int backup(uint32_t now) {
    log_.clear();
    return archive_.backup(now);
  }

  void expect_unchanged(uint32_t next_archive_time, uint32_t number) {
    EXPECT_EQ(archive_.next_archive_time(), next_archive_time);
    EXPECT_EQ(archive_.next_archive_number(), number);
  }

  SimDir sim_;
  Archive archive_{"stats"};
};

TEST_F(BackupTest, WritesTheNumberedArchiveThenReschedulesRotatesAndAdvances) {
  for (const char* name : {"37.tar", "38.tar", "39.tar", "40.tar", "50.tar"}) {
    files_test::touch(kDir + std::string(name));
  }
  sim_.set_key("VEH_ODOMETER", "VEH", KEY_TYPE_DOUBLE, 812.0);
  archive_.add_key("VEH_ODOMETER", true, 900, 0, 900, true);
  // Due at 1000 but run late, at 5000, after start-up loaded archive 40.
  ArchivePeer::set_backup_state(archive_, 1000, 1800, 41);

  EXPECT_EQ(backup(5000), 0);

  EXPECT_THAT(
      backup_lines(),
      ElementsAre(info("Backing up archive (stats)"), exec(kCopy),
                  info("Creating tar"), exec(kMd5), exec(kTar),
                  info("Finished backing up archive (stats)"),
                  info("Removing old archives (stats)"),
                  notice("Removing old archive (/var/data/kvo/archive/stats/"
                         "37.tar)"),
                  info("Finished removing old archives (stats)")));
  EXPECT_EQ(archive_.next_archive_time(), 5000u + 1800u);
  EXPECT_EQ(archive_.next_archive_number(), 42u);
  EXPECT_EQ(names_in(kDir),
            Names({"38.tar", "39.tar", "40.tar", "41.tar", "50.tar"}));
  EXPECT_EQ(names_in("/var/volatile/kvo"),
            Names({"stats.db", "stats_bak.db", "stats.md5"}));

  // Exactly the copy, then its checksum, under bare names.
  const std::string archive = std::string(kDir) + "41.tar";
  EXPECT_EQ(shell("tar -tf " + archive), "stats_bak.db\nstats.md5\n");
  shell("mkdir -p /tmp/unpacked && tar -xf " + archive + " -C /tmp/unpacked");
  const std::string digest = shell("md5sum < /tmp/unpacked/stats_bak.db");
  EXPECT_EQ(read_file("/tmp/unpacked/stats.md5"),
            digest.substr(0, 32) + "  /var/volatile/kvo/stats_bak.db\n");
  // The copy holds a fresh sample of the saved key.
  EXPECT_EQ(files_test::markers("/tmp/unpacked/stats_bak.db"),
            "before\n812.0\n");
}

TEST_F(BackupTest, EachFailedStepKeepsScheduleAndNumberAndIsRetriedWhole) {
  ArchivePeer::set_backup_state(archive_, 1000, 1800, 0);

  fs::create_directory("/var/volatile/kvo/stats_bak.db");  // Copy target.
  EXPECT_EQ(backup(2000), 256);
  EXPECT_THAT(backup_lines(),
              ElementsAre(info("Backing up archive (stats)"), exec(kCopy),
                          notice("Error backing up archive (" +
                                 std::string(kCopy) + ":256)")));
  expect_unchanged(1000, 0);
  fs::remove("/var/volatile/kvo/stats_bak.db");

  {
    FailingTool md5sum("md5sum", 3);
    EXPECT_EQ(backup(3000), -1);
  }
  EXPECT_EQ(backup_lines(), failed_at({kMd5}, "Error creating md5 file (" +
                                                  std::string(kMd5) + ":768)"));
  expect_unchanged(1000, 0);
  EXPECT_TRUE(fs::exists("/var/volatile/kvo/stats_bak.db"));

  {
    FailingTool tar("tar", 2);
    EXPECT_EQ(backup(4000), -1);
  }
  EXPECT_EQ(backup_lines(),
            failed_at({kMd5, kTar}, "Error creating tar file (" +
                                        std::string(kTar) + ":512)"));
  expect_unchanged(1000, 0);
  EXPECT_TRUE(fs::exists("/var/volatile/kvo/stats.md5"));

  fs::remove_all(kDir);
  EXPECT_EQ(backup(5000), -1);
  // The move alone runs without an "Exec:" line.
  EXPECT_EQ(backup_lines(),
            failed_at({kMd5, kTar},
                      "Error moving tar file to NV (mv "
                      "/var/volatile/kvo/stats.tar "
                      "/var/data/kvo/archive/stats/0.tar:256)"));
  expect_unchanged(1000, 0);
  EXPECT_TRUE(fs::exists("/var/volatile/kvo/stats.tar"));

  fs::create_directories(kDir);
  EXPECT_EQ(backup(9000), 0);
  EXPECT_EQ(names_in(kDir), Names({"0.tar"}));
  EXPECT_EQ(archive_.next_archive_time(), 9000u + 1800u);
  EXPECT_EQ(archive_.next_archive_number(), 1u);
  EXPECT_FALSE(fs::exists("/var/volatile/kvo/stats.tar"));
}

TEST_F(BackupTest, InstanceThatSavesNothingLogsOneLineAndTouchesNothing) {
  ArchivePeer::set_backup_state(archive_, 0, 1800, 3);
  EXPECT_EQ(backup(5000), 0);
  EXPECT_THAT(log_.lines(),
              ElementsAre(LogLine{LOG_INFO, "Backing up archive (stats)"}));
  expect_unchanged(0, 3);
  EXPECT_EQ(names_in("/var/volatile/kvo"), Names({"stats.db"}));
  EXPECT_TRUE(names_in(kDir).empty());
}

TEST_F(BackupTest, NumberStopsAtTheLargestInsteadOfWrappingToZero) {
  files_test::touch(kDir + std::string("0.tar"));
  ArchivePeer::set_backup_state(archive_, 1000, 1800, 4294967295u);
  EXPECT_EQ(backup(5000), 0);
  EXPECT_EQ(backup(9000), 0);
  // Later backups replace the newest archive; 0.tar, older by far, never
  // passes for a newer one.
  EXPECT_EQ(archive_.next_archive_number(), 4294967295u);
  EXPECT_EQ(names_in(kDir), Names({"0.tar", "4294967295.tar"}));
}

}  // namespace
}  // namespace kvo
