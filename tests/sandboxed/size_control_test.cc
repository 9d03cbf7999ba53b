#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <syslog.h>

#include <string>

#include "sandboxed/working_db.h"
#include "service/archive.h"
#include "support/log_capture.h"

namespace kvo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace testing_db;

constexpr char kDeleting[] = "Deleting old entries (stats)";

class SizeControlTest : public ::testing::Test {
 protected:
  SizeControlTest() {
    remove_working_files();
    EXPECT_EQ(stats_.create_schema(), 0);
    log_.clear();
  }
  ~SizeControlTest() override { remove_working_files(); }

  sqlite3* db() { return ArchivePeer::db(stats_); }
  void exec(const std::string& sql) { ASSERT_EQ(stats_.exec_sql(sql), 0); }
  uint32_t page_count() {
    return static_cast<uint32_t>(query_int(db(), "PRAGMA page_count"));
  }

  // Inserts rows until SQLite itself refuses one for want of pages, so that
  // the next insert meets a truly full database.
  void fill_to_hard_limit(int row_bytes) {
    exec("PRAGMA max_page_count=" + std::to_string(page_count()));
    const std::string row =
        "INSERT INTO data (key,value) VALUES ('K', "
        "randomblob(" +
        std::to_string(row_bytes) + "))";
    int rc = SQLITE_OK;
    for (int i = 0; i < 100 && rc == SQLITE_OK; ++i) rc = stats_.exec_sql(row);
    ASSERT_EQ(rc, SQLITE_FULL);
    log_.clear();
  }

  Archive stats_{"stats"};
  LogCapture log_;
};

TEST_F(SizeControlTest, DeleteOldEntriesRemovesTheOldestBatchOnly) {
  exec(fill_sql(200, 10));

  EXPECT_EQ(stats_.delete_old_entries(50), 0);
  EXPECT_THAT(log_.lines(),
              ElementsAre(LogLine{LOG_NOTICE, kDeleting},
                          LogLine{LOG_DEBUG, "Deleting row 1-51"}));
  EXPECT_EQ(rowids(db()), range(52, 200));

  exec("DELETE FROM data");
  log_.clear();
  EXPECT_EQ(stats_.delete_old_entries(50), 0);
  EXPECT_THAT(log_.lines(), ElementsAre(LogLine{LOG_NOTICE, kDeleting}));
}

TEST_F(SizeControlTest, AnInsertIntoAFullDatabaseMakesRoomAndSucceeds) {
  exec(fill_sql(200, 1000));
  fill_to_hard_limit(1000);
  const int64_t newest = rowids(db()).back();
  const std::string batch = "INSERT into data (key,value) VALUES ('K','" +
                            std::string(1000, 'x') + "')";

  EXPECT_EQ(stats_.add_entries(batch), 0);

  EXPECT_THAT(
      log_.lines(),
      ElementsAre(LogLine{LOG_NOTICE, "Error exec cmd (13:" + batch + ")"},
                  LogLine{LOG_NOTICE, kDeleting},
                  LogLine{LOG_DEBUG, "Deleting row 1-51"}));
  EXPECT_TRUE(stats_.data_added());
  EXPECT_EQ(rowids(db()), range(52, newest + 1));
}

TEST_F(SizeControlTest, AnInsertThatNeverFitsGivesUpAfterTenAttempts) {
  exec(fill_sql(600, 10));
  fill_to_hard_limit(10);
  const int64_t newest = rowids(db()).back();
  // Larger than the whole page limit, however many rows go.
  const std::string batch = "INSERT into data (key,value) VALUES ('K','" +
                            std::string(200000, 'x') + "')";

  EXPECT_EQ(stats_.add_entries(batch), -1);

  EXPECT_EQ(log_.count("Error exec cmd (13:" + batch + ")"), 10);
  EXPECT_EQ(log_.count(kDeleting), 10);
  EXPECT_EQ(log_.lines().back(),
            (LogLine{LOG_NOTICE, "Error adding entry (13:" + batch + ")"}));
  EXPECT_FALSE(stats_.data_added());
  EXPECT_EQ(rowids(db()), range(511, newest));
}

TEST_F(SizeControlTest, AnInsertFailingOtherwiseIsTriedOnceWithoutDeleting) {
  exec(fill_sql(100, 10));
  const std::string batch = "INSERT into data (key,value) VALUES ('K',1.0,2)";

  EXPECT_EQ(stats_.add_entries(batch), -1);

  EXPECT_THAT(
      log_.lines(),
      ElementsAre(LogLine{LOG_NOTICE, "Error exec cmd (1:" + batch + ")"},
                  LogLine{LOG_NOTICE, "Error adding entry (1:" + batch + ")"}));
  EXPECT_FALSE(stats_.data_added());
  EXPECT_EQ(rowids(db()), range(1, 100));
}

TEST_F(SizeControlTest, CheckSizeDeletesOldestRowsUntilUnderTheSoftLimit) {
  exec(fill_sql(2000, 500));
  const uint32_t before = page_count();
  ASSERT_GT(before, 200u);
  ArchivePeer::max_page_count(stats_) = 100;
  ArchivePeer::next_archive_time(stats_) = 1000;
  ArchivePeer::data_added(stats_) = true;

  stats_.check_size();

  EXPECT_LE(page_count(), 100u);
  EXPECT_FALSE(stats_.data_added());
  const std::vector<int64_t> left = rowids(db());
  ASSERT_FALSE(left.empty());
  EXPECT_EQ(left, range(left.front(), 2000));  // The youngest rows stay.
  const std::vector<std::string> lines = log_.texts();
  EXPECT_EQ(lines.front(),
            "check_size: next_archive_time:1000 data_added:1 "
            "(stats)");
  EXPECT_EQ(lines.back(), "Page count:" + std::to_string(page_count()) +
                              " (max page count:100)");
  EXPECT_EQ(log_.count(kDeleting), (left.front() - 1) / 51);

  // Nothing added since: only the first message.
  log_.clear();
  stats_.check_size();
  EXPECT_THAT(log_.lines(),
              ElementsAre(LogLine{LOG_DEBUG,
                                  "check_size: next_archive_time:1000 "
                                  "data_added:0 (stats)"}));
}

TEST_F(SizeControlTest, CheckSizeAtTheLimitOrWithoutSavedKeysDeletesNothing) {
  exec(fill_sql(300, 500));
  const uint32_t pages = page_count();
  ArchivePeer::max_page_count(stats_) = pages;
  ArchivePeer::next_archive_time(stats_) = 1000;
  ArchivePeer::data_added(stats_) = true;

  stats_.check_size();

  const std::string limit = std::to_string(pages);
  EXPECT_THAT(
      log_.texts(),
      ElementsAre("check_size: next_archive_time:1000 data_added:1 "
                  "(stats)",
                  "Page count:" + limit + " (max page count:" + limit + ")"));
  EXPECT_FALSE(stats_.data_added());

  // An instance that saves nothing does not look at its database.
  ArchivePeer::max_page_count(stats_) = 1;
  ArchivePeer::next_archive_time(stats_) = 0;
  ArchivePeer::data_added(stats_) = true;
  log_.clear();
  stats_.check_size();
  EXPECT_THAT(log_.texts(), ElementsAre("check_size: next_archive_time:0 "
                                        "data_added:1 (stats)"));
  EXPECT_TRUE(stats_.data_added());
  EXPECT_EQ(rowids(db()), range(1, 300));
}

TEST_F(SizeControlTest, CheckSizeStopsAfterFiftyPassesAndGoesOnNextTime) {
  exec(fill_sql(2600, 10));
  ArchivePeer::max_page_count(stats_) = 1;  // Out of reach.
  ArchivePeer::next_archive_time(stats_) = 1000;
  ArchivePeer::data_added(stats_) = true;

  stats_.check_size();

  EXPECT_EQ(log_.count(kDeleting), 50);
  EXPECT_TRUE(stats_.data_added());
  EXPECT_EQ(rowids(db()), range(2551, 2600));
  int page_lines = 0;
  for (const std::string& line : log_.texts()) {
    if (line.rfind("Page count:", 0) == 0) ++page_lines;
  }
  EXPECT_EQ(page_lines, 50);

  stats_.check_size();
  EXPECT_THAT(rowids(db()), IsEmpty());
}

}  // namespace
}  // namespace kvo
