#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <syslog.h>

#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "sandboxed/archive_files_support.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

using files_test::add_marker;
using files_test::FailingTool;
using files_test::Fault;
using files_test::make_archive;
using files_test::markers;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using Names = std::set<std::string>;

namespace fs = std::filesystem;

constexpr char kDir[] = "/var/data/kvo/archive/stats/";
constexpr char kDb[] = "/var/volatile/kvo/stats.db";
// The move that puts an unpacked copy in place, as logged and as failing.
constexpr char kMove[] =
    "Exec:mv /var/volatile/kvo/stats_bak.db /var/volatile/kvo/stats.db";
constexpr char kMoveError[] =
    "Error moving file (mv /var/volatile/kvo/stats_bak.db "
    "/var/volatile/kvo/stats.db:256)";

std::string path_of(int number) {
  return kDir + std::to_string(number) + ".tar";
}

class InitializationTest : public testing_db::DeviceTest {
 protected:
  // The log without the folder listings, which come in folder order.
  std::vector<std::string> initialize(Archive& archive) {
    log_.clear();
    archive.initialize();
    std::vector<std::string> texts;
    for (const std::string& text : log_.texts()) {
      if (text.find("Found archive ") == std::string::npos) {
        texts.push_back(text);
      }
    }
    return texts;
  }

  SimDir sim_;
  Archive archive_{"stats"};
};

TEST_F(InitializationTest, NewestGoodArchiveReplacesTheWorkingDatabase) {
  make_archive("stats", 1, "one");
  make_archive("stats", 2, "two");
  make_archive("stats", 3, "three", Fault::kWrongChecksum);
  add_marker(kDb, "left from an earlier run");

  EXPECT_THAT(initialize(archive_),
              ElementsAre("Initializing archive (stats)",
                          "Loading archive (" + path_of(3) + ")",
                          "Bad tar file (" + path_of(3) + ")",
                          "Removing bad archive (" + path_of(3) + ")",
                          "Loading archive (" + path_of(2) + ")", kMove,
                          "Removing old archives (stats)",
                          "Finished removing old archives (stats)",
                          "Finished initializing archive (stats)"));
  EXPECT_EQ(archive_.next_archive_number(), 3u);
  EXPECT_EQ(names_in(kDir), Names({"1.tar", "2.tar"}));
  EXPECT_EQ(markers(kDb), "two\n");
  EXPECT_FALSE(fs::exists(archive_.backup_db_path()));
  EXPECT_FALSE(archive_.db_open());
  EXPECT_EQ(log_.count("Init:Found archive 1.tar") +
                log_.count("Init:Found archive 2.tar") +
                log_.count("Init:Found archive 3.tar") +
                log_.count("Found archive 1.tar") +
                log_.count("Found archive 2.tar"),
            5);
  // Archives found, loaded and removed are notices; progress is info.
  for (const LogLine& line : log_.lines()) {
    int expected = LOG_INFO;
    for (const char* prefix : {"Init:Found archive", "Found archive", "Loading",
                               "Bad tar", "Removing bad"}) {
      if (line.text.rfind(prefix, 0) == 0) expected = LOG_NOTICE;
    }
    if (line.text.rfind("Exec:", 0) == 0) expected = LOG_DEBUG;
    EXPECT_EQ(line.priority, expected) << line.text;
  }
}

TEST_F(InitializationTest, UnsafeOrBrokenArchivesAreDeletedAndAnOlderLoads) {
  make_archive("stats", 1, "one");
  make_archive("stats", 2, "two", Fault::kChangedAfterChecksum);
  shell("echo 'not a tar' > " + path_of(3));
  // Members that would land outside volatile storage or link out of it,
  // each next to a perfectly good copy and checksum.
  make_archive("stats", 4, "four");
  shell("ln -s /var/data/kvo/planted /tmp/link && tar -rf " + path_of(4) +
        " -C /tmp link");
  make_archive("stats", 5, "five");
  shell("echo planted > /tmp/planted && tar -rf " + path_of(5) +
        " -P -C / /tmp/planted");
  make_archive("stats", 6, "six");
  shell("mkdir -p /tmp/a && echo planted > /tmp/a/planted && tar -rf " +
        path_of(6) + " -P -C /tmp/a ../a/planted");
  shell("rm -r /tmp/a /tmp/planted /tmp/link");
  const Names volatile_before = names_in("/var/volatile");

  std::vector<std::string> lines = initialize(archive_);

  EXPECT_EQ(archive_.next_archive_number(), 2u);
  EXPECT_EQ(markers(kDb), "one\n");
  EXPECT_EQ(names_in(kDir), Names({"1.tar"}));
  EXPECT_THAT(lines, IsSupersetOf({
                         "Error extracting tar file (" + path_of(6) + ")",
                         "Error extracting tar file (" + path_of(5) + ")",
                         "Error extracting tar file (" + path_of(4) + ")",
                         "Error extracting tar file (" + path_of(3) + ")",
                         "Bad tar file (" + path_of(2) + ")",
                     }));
  for (int n : {6, 5, 4, 3, 2}) {
    EXPECT_EQ(log_.count("Removing bad archive (" + path_of(n) + ")"), 1) << n;
  }
  EXPECT_FALSE(fs::exists("/tmp/planted"));
  EXPECT_FALSE(fs::exists("/tmp/a/planted"));
  EXPECT_FALSE(fs::exists("/var/data/kvo/planted"));
  EXPECT_FALSE(fs::is_symlink("/var/volatile/kvo/link"));
  EXPECT_EQ(names_in("/var/volatile"), volatile_before);
}

TEST_F(InitializationTest, WhenAllFailAllGoAndNumberingStartsAgainAtZero) {
  // A missing folder is created, and there is nothing to load.
  EXPECT_THAT(initialize(archive_),
              ElementsAre("Initializing archive (stats)",
                          "Removing old archives (stats)",
                          "Finished removing old archives (stats)",
                          "Finished initializing archive (stats)"));
  EXPECT_TRUE(fs::is_directory(kDir));
  EXPECT_FALSE(fs::exists(kDb));

  make_archive("stats", 7, "seven", Fault::kWrongChecksum);
  files_test::touch(kDir + std::string("7.tar.part"));
  make_archive("stats", 4, "four", Fault::kChangedAfterChecksum);
  add_marker(kDb, "kept");

  EXPECT_THAT(initialize(archive_),
              ElementsAre("Initializing archive (stats)",
                          "Loading archive (" + path_of(7) + ")",
                          "Bad tar file (" + path_of(7) + ")",
                          "Removing bad archive (" + path_of(7) + ")",
                          // 7.tar.part names archive 7 a second time.
                          "Loading archive (" + path_of(7) + ")",
                          "Error extracting tar file (" + path_of(7) + ")",
                          "Removing bad archive (" + path_of(7) + ")",
                          "Loading archive (" + path_of(4) + ")",
                          "Bad tar file (" + path_of(4) + ")",
                          "Removing bad archive (" + path_of(4) + ")",
                          "Removing old archives (stats)",
                          "Finished removing old archives (stats)",
                          "Finished initializing archive (stats)"));
  EXPECT_EQ(archive_.next_archive_number(), 0u);
  EXPECT_EQ(names_in(kDir), Names({"7.tar.part"}));
  EXPECT_EQ(markers(kDb), "kept\n");

  ArchivePeer::set_backup_state(archive_, 1000, 1800,
                                archive_.next_archive_number());
  archive_.backup(5000);
  EXPECT_EQ(names_in(kDir), Names({"0.tar", "7.tar.part"}));
}

TEST_F(InitializationTest, FailedMoveCountsOnlyWhenAWorkingDatabaseExists) {
  make_archive("stats", 5, "five");
  make_archive("stats", 6, "six");
  FailingTool mv("mv", 1);

  EXPECT_THAT(
      initialize(archive_),
      ElementsAre("Initializing archive (stats)",
                  "Loading archive (" + path_of(6) + ")", kMove, kMoveError,
                  "Removing bad archive (" + path_of(6) + ")",
                  "Loading archive (" + path_of(5) + ")", kMove, kMoveError,
                  "Removing bad archive (" + path_of(5) + ")",
                  "Removing old archives (stats)",
                  "Finished removing old archives (stats)",
                  "Finished initializing archive (stats)"));
  EXPECT_EQ(archive_.next_archive_number(), 0u);
  EXPECT_TRUE(names_in(kDir).empty());

  make_archive("stats", 8, "eight");
  add_marker(kDb, "kept");
  Archive again("stats");
  initialize(again);
  EXPECT_EQ(again.next_archive_number(), 9u);
  EXPECT_EQ(log_.count(kMoveError), 0);
  EXPECT_EQ(names_in(kDir), Names({"8.tar"}));
  EXPECT_EQ(markers(kDb), "kept\n");
}

}  // namespace
}  // namespace kvo
