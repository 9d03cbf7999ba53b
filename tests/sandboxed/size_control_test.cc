#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <syslog.h>

#include <string>

#include "archive/archive.h"
#include "sandboxed/working_db.h"

namespace kvo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace testing_db;

constexpr char kDeleting[] = "Deleting old entries (stats)";

std::string insert_text(size_t bytes) {
  return "INSERT into data (key,value) VALUES ('K','" +
         std::string(bytes, 'x') + "')";
}

class SizeControlTest : public DeviceTest {
 protected:
  SizeControlTest() {
    EXPECT_EQ(stats_.create_schema(), 0);
    log_.clear();
  }

  sqlite3* db() { return ArchivePeer::db(stats_); }
  void exec(const std::string& sql) { ASSERT_EQ(stats_.exec_sql(sql), 0); }
  uint32_t page_count() {
    return static_cast<uint32_t>(query_int(db(), "PRAGMA page_count"));
  }
  // The state in which check_size looks at the database at all.
  void arm(uint32_t max_page_count) {
    ArchivePeer::max_page_count(stats_) = max_page_count;
    ArchivePeer::next_archive_time(stats_) = 1000;
    ArchivePeer::data_added(stats_) = true;
    log_.clear();
  }

  Archive stats_{"stats"};
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

TEST_F(SizeControlTest, AddEntriesMakesRoomOnlyWhileTheDatabaseIsFull) {
  // Rows until SQLite itself refuses one for want of pages, so that the
  // next insert meets a truly full database.
  exec(fill_sql(200, 1000));
  exec("PRAGMA max_page_count=" + std::to_string(page_count()));
  int rc = SQLITE_OK;
  while (rc == SQLITE_OK) rc = stats_.exec_sql(insert_text(1000));
  ASSERT_EQ(rc, SQLITE_FULL);
  const int64_t newest = rowids(db()).back();
  const std::string fits = insert_text(1000);
  log_.clear();

  EXPECT_EQ(stats_.add_entries(fits), 0);
  EXPECT_THAT(
      log_.lines(),
      ElementsAre(LogLine{LOG_NOTICE, "Error exec cmd (13:" + fits + ")"},
                  LogLine{LOG_NOTICE, kDeleting},
                  LogLine{LOG_DEBUG, "Deleting row 1-51"}));
  EXPECT_TRUE(stats_.data_added());
  EXPECT_EQ(rowids(db()), range(52, newest + 1));

  // Larger than the whole page limit, however many rows go.
  const std::string never =
      insert_text(query_int(db(), "PRAGMA max_page_count") * 4096);
  ArchivePeer::data_added(stats_) = false;
  log_.clear();
  EXPECT_EQ(stats_.add_entries(never), -1);
  EXPECT_EQ(log_.count("Error exec cmd (13:" + never + ")"), 10);
  EXPECT_EQ(log_.count(kDeleting), 10);
  EXPECT_EQ(log_.lines().back(),
            (LogLine{LOG_NOTICE, "Error adding entry (13:" + never + ")"}));
  EXPECT_FALSE(stats_.data_added());

  // Any other failure is tried once, without deleting.
  exec(fill_sql(100, 10));
  const std::vector<int64_t> rows = rowids(db());
  const std::string bad = "INSERT into data (key,value) VALUES ('K',1.0,2)";
  log_.clear();
  EXPECT_EQ(stats_.add_entries(bad), -1);
  EXPECT_THAT(
      log_.lines(),
      ElementsAre(LogLine{LOG_NOTICE, "Error exec cmd (1:" + bad + ")"},
                  LogLine{LOG_NOTICE, "Error adding entry (1:" + bad + ")"}));
  EXPECT_FALSE(stats_.data_added());
  EXPECT_EQ(rowids(db()), rows);
}

TEST_F(SizeControlTest, CheckSizeDeletesOldestRowsUntilUnderTheSoftLimit) {
  exec(fill_sql(2000, 500));
  ASSERT_GT(page_count(), 200u);
  arm(100);

  stats_.check_size();

  EXPECT_LE(page_count(), 100u);
  EXPECT_FALSE(stats_.data_added());
  std::vector<int64_t> left = rowids(db());
  ASSERT_FALSE(left.empty());
  EXPECT_EQ(left, range(left.front(), 2000));  // The youngest rows stay.
  EXPECT_EQ(log_.texts().front(),
            "check_size: next_archive_time:1000 data_added:1 (stats)");
  EXPECT_EQ(log_.texts().back(), "Page count:" + std::to_string(page_count()) +
                                     " (max page count:100)");
  EXPECT_EQ(log_.count(kDeleting), (left.front() - 1) / 51);

  // Nothing added since: only the first message.
  log_.clear();
  stats_.check_size();
  EXPECT_THAT(log_.lines(),
              ElementsAre(LogLine{LOG_DEBUG,
                                  "check_size: next_archive_time:1000 "
                                  "data_added:0 (stats)"}));

  // Exactly at the limit is within it.
  const std::string pages = std::to_string(page_count());
  arm(page_count());
  stats_.check_size();
  EXPECT_THAT(
      log_.texts(),
      ElementsAre("check_size: next_archive_time:1000 data_added:1 (stats)",
                  "Page count:" + pages + " (max page count:" + pages + ")"));
  EXPECT_FALSE(stats_.data_added());

  // An instance that saves nothing does not look at its database.
  arm(1);
  ArchivePeer::next_archive_time(stats_) = 0;
  stats_.check_size();
  EXPECT_THAT(log_.texts(), ElementsAre("check_size: next_archive_time:0 "
                                        "data_added:1 (stats)"));
  EXPECT_TRUE(stats_.data_added());
  EXPECT_EQ(rowids(db()), left);
}

TEST_F(SizeControlTest, CheckSizeStopsAfterFiftyPassesAndGoesOnNextTime) {
  exec(fill_sql(2600, 10));
  arm(1);  // Out of reach.

  stats_.check_size();

  EXPECT_EQ(log_.count(kDeleting), 50);
  EXPECT_EQ(log_.texts().size(), 1u + 50u * 3u);  // Page count, two deleting.
  EXPECT_TRUE(stats_.data_added());
  EXPECT_EQ(rowids(db()), range(2551, 2600));
  stats_.check_size();
  EXPECT_THAT(rowids(db()), IsEmpty());
}

}  // namespace
}  // namespace kvo
