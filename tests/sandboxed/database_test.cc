#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <syslog.h>

#include <filesystem>
#include <string>

#include "sandboxed/working_db.h"
#include "service/archive.h"
#include "support/log_capture.h"

namespace kvo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace testing_db;

class DatabaseTest : public ::testing::Test {
 protected:
  DatabaseTest() { remove_working_files(); }
  ~DatabaseTest() override { remove_working_files(); }

  LogCapture log_;
};

TEST_F(DatabaseTest, FirstOpenAppliesConnectionSettingsOnceAndBuildsTheTable) {
  Archive stats("stats");
  ASSERT_EQ(stats.create_schema(), 0);

  EXPECT_THAT(log_.lines(),
              ElementsAre(LogLine{LOG_INFO, "Setting max page count:2816"},
                          LogLine{LOG_INFO, "Setting disabling sync"}));
  sqlite3* db = ArchivePeer::db(stats);
  EXPECT_EQ(query_int(db, "PRAGMA max_page_count"), 2816);
  EXPECT_EQ(query_int(db, "PRAGMA synchronous"), 0);
  EXPECT_EQ(query_int(db, "PRAGMA auto_vacuum"), 1);  // FULL
  DbFile other(kStatsDb);
  EXPECT_EQ(query_int(other.get(), "PRAGMA auto_vacuum"), 1);  // In the file.
  // SQLite keeps the statement without its IF NOT EXISTS.
  EXPECT_EQ(query_int(db,
                      "SELECT count(*) FROM sqlite_master WHERE sql='CREATE "
                      "TABLE data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, key "
                      "TEXT, value BLOB)'"),
            1);
  EXPECT_EQ(stats.get_page_count(),
            std::filesystem::file_size(kStatsDb) / 4096);

  // A held connection is reused as it is: no message, no pragma again.
  log_.clear();
  ASSERT_EQ(stats.exec_sql("PRAGMA max_page_count=5000"), SQLITE_OK);
  EXPECT_EQ(stats.open_db(), 0);
  EXPECT_THAT(log_.lines(), IsEmpty());
  EXPECT_EQ(query_int(db, "PRAGMA max_page_count"), 5000);

  // A failing statement names its code and its whole text.
  EXPECT_EQ(stats.exec_sql("INSERT INTO nowhere VALUES (1)"), SQLITE_ERROR);
  EXPECT_THAT(
      log_.lines(),
      ElementsAre(LogLine{
          LOG_NOTICE, "Error exec cmd (1:INSERT INTO nowhere VALUES (1))"}));
}

TEST_F(DatabaseTest, CreateSchemaKeepsTheRowsOfAnEarlierFile) {
  {
    DbFile earlier(kStatsDb);
    earlier.exec(kCreateTable);
    earlier.exec(fill_sql(300, 100));
  }
  Archive stats("stats");
  ASSERT_EQ(stats.create_schema(), 0);

  EXPECT_EQ(rowids(ArchivePeer::db(stats)), range(1, 300));
  // The file was made without auto-vacuum; the VACUUM switched it.
  DbFile other(kStatsDb);
  EXPECT_EQ(query_int(other.get(), "PRAGMA auto_vacuum"), 1);
  EXPECT_THAT(log_.texts(LOG_NOTICE), IsEmpty());
}

TEST_F(DatabaseTest, AFileThatIsNoDatabaseFailsEachStatementAndIsLeftAlone) {
  write_file(kStatsDb, garbage());
  Archive stats("stats");

  EXPECT_EQ(stats.create_schema(), 0);
  EXPECT_EQ(stats.get_page_count(), 0u);
  const std::string insert = "INSERT into data (key,value) VALUES ('K',1.0)";
  EXPECT_EQ(stats.add_entries(insert), -1);
  ArchivePeer::next_archive_time(stats) = 1000;
  ArchivePeer::data_added(stats) = true;
  stats.check_size();  // Takes the unreadable size as within the limit.

  EXPECT_THAT(
      log_.texts(LOG_NOTICE),
      ElementsAre("Error exec cmd (26:PRAGMA max_page_count=2816)",
                  "Error exec cmd (26:PRAGMA synchronous=0)",
                  "Error exec cmd (26:PRAGMA auto_vacuum=FULL)",
                  "Error exec cmd (26:VACUUM)",
                  "Error exec cmd (26:" + std::string(kCreateTable) + ")",
                  "Error getting page count (26:PRAGMA page_count)",
                  "Error exec cmd (26:" + insert + ")",
                  "Error adding entry (26:" + insert + ")",
                  "Error getting page count (26:PRAGMA page_count)"));
  EXPECT_FALSE(stats.data_added());
  EXPECT_EQ(read_file(kStatsDb), garbage());
}

TEST_F(DatabaseTest, AFailedOpenLeavesNoConnectionAndIsTriedAgain) {
  ASSERT_EQ(mkdir(kStatsDb, 0755), 0);  // Nothing can open a folder.
  Archive stats("stats");
  const std::string error = "Error opening db (/var/volatile/kvo/stats.db)";

  EXPECT_EQ(stats.open_db(), -1);
  EXPECT_FALSE(stats.db_open());
  EXPECT_EQ(stats.set_max_page_count(100), -1);
  EXPECT_EQ(stats.disable_sync(), -1);
  EXPECT_EQ(stats.create_schema(), -1);
  EXPECT_EQ(stats.get_page_count(), 0u);
  EXPECT_EQ(stats.exec_sql("PRAGMA page_count"), SQLITE_MISUSE);
  EXPECT_THAT(
      log_.lines(),
      ElementsAre(
          LogLine{LOG_NOTICE, error},
          LogLine{LOG_INFO, "Setting max page count:100"},
          LogLine{LOG_NOTICE, error},
          LogLine{LOG_INFO, "Setting disabling sync"},
          LogLine{LOG_NOTICE, error}, LogLine{LOG_NOTICE, error},
          LogLine{LOG_NOTICE, error},
          LogLine{LOG_NOTICE, "Error exec cmd (21:PRAGMA page_count)"}));

  remove_working_files();
  log_.clear();
  EXPECT_EQ(stats.open_db(), 0);
  EXPECT_TRUE(stats.db_open());
  EXPECT_THAT(log_.texts(), ElementsAre("Setting max page count:2816",
                                        "Setting disabling sync"));
}

}  // namespace
}  // namespace kvo
