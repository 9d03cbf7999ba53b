// Size control on real database files: the oldest rows go, in batches of
// 51, until the database fits its soft limit or an insert fits the hard one.
#include <gtest/gtest.h>

#include <string>

#include "archive/archive.h"
#include "base/sqlite_handle.h"
#include "support/archive_peer.h"
#include "support/device.h"

namespace kvo {
namespace {

class SizeControlTest : public DeviceTest {
 protected:
  std::string rows() {
    return sql(kStatsDb, "SELECT min(rowid), max(rowid), count(*) FROM data");
  }
  // Rows of 1000 bytes until the file holds the hard page limit.
  void fill_to_hard_limit() {
    sql(kStatsDb, kCreateTable);
    SqliteDb db;
    ASSERT_EQ(sqlite3_open(kStatsDb.c_str(), db.out()), SQLITE_OK);
    const std::string setup =
        "PRAGMA auto_vacuum=FULL; VACUUM; PRAGMA synchronous=0; "
        "PRAGMA max_page_count=" +
        std::to_string(kHardPageLimit);
    ASSERT_EQ(sqlite3_exec(db.get(), setup.c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK);
    const char* insert =
        "INSERT INTO data (key,value) VALUES ('K', randomblob(1000))";
    while (sqlite3_exec(db.get(), insert, nullptr, nullptr, nullptr) ==
           SQLITE_OK) {
    }
  }

  Archive stats_{"stats"};
};

TEST_F(SizeControlTest, DeletesTheOldestFiftyOneRowsAtATime) {
  fill(kStatsDb, 200, 10);
  EXPECT_EQ(stats_.delete_old_entries(50), 0);
  EXPECT_EQ(rows(), "52|200|149\n");
}

TEST_F(SizeControlTest, AnInsertAtTheHardLimitMakesRoomOrGivesUpAfterTenTries) {
  // The connection is bounded by the hard limit, whatever the soft one.
  sql(kStatsDb, kCreateTable);
  ArchivePeer::max_page_count(stats_) = 16;
  EXPECT_EQ(stats_.add_entries("INSERT into data (key,value) VALUES ('S', "
                               "randomblob(200000))"),
            0);
  fill_to_hard_limit();
  const std::string before = rows();
  EXPECT_EQ(stats_.add_entries("INSERT into data (key,value) VALUES ('A','" +
                               std::string(20000, 'a') + "')"),
            0);
  EXPECT_TRUE(stats_.data_added());
  EXPECT_EQ(sql(kStatsDb, "SELECT count(*) FROM data WHERE key='A'"), "1\n");
  EXPECT_NE(rows(), before);

  // A batch larger than ten deletions free: ten tries, 510 rows gone, lost.
  const int count = std::stoi(sql(kStatsDb, "SELECT count(*) FROM data"));
  const std::string big = "INSERT into data (key,value) VALUES ('B','" +
                          std::string(3 << 20, 'x') + "')";
  EXPECT_NE(stats_.add_entries(big), 0);
  EXPECT_EQ(log_.lines().back(),
            (LogLine{LOG_NOTICE, "Error adding entry (13:" + big + ")"}));
  EXPECT_EQ(std::stoi(sql(kStatsDb, "SELECT count(*) FROM data")), count - 510);

  // Any other failure is not retried and deletes nothing.
  const std::string kept = rows();
  EXPECT_NE(stats_.add_entries("INSERT into nowhere VALUES (1)"), 0);
  EXPECT_EQ(rows(), kept);
  EXPECT_EQ(log_.lines().back(),
            (LogLine{LOG_NOTICE,
                     "Error adding entry (1:INSERT into nowhere VALUES (1))"}));
}

TEST_F(SizeControlTest, CheckSizeDeletesWhileAboveTheSoftLimitInBoundedPasses) {
  fill(kStatsDb, 4000, 1000);
  stats_.create_schema();
  ArchivePeer::max_page_count(stats_) = 256;
  ArchivePeer::data_added(stats_) = true;

  ArchivePeer::next_archive_time(stats_) = 0;  // Saves nothing: no check.
  stats_.check_size();
  EXPECT_EQ(rows(), "1|4000|4000\n");

  ArchivePeer::next_archive_time(stats_) = 1;
  stats_.check_size();  // 50 passes of 51 rows, and not yet small enough.
  EXPECT_EQ(rows(), "2551|4000|1450\n");
  EXPECT_TRUE(stats_.data_added());
  stats_.check_size();
  uint32_t pages = 0;
  EXPECT_EQ(stats_.get_page_count(&pages), 0);
  EXPECT_LE(pages, 256u);
  EXPECT_GT(pages, 200u);  // Only as much as needed went.
  EXPECT_FALSE(stats_.data_added());

  // At the limit exactly, nothing is deleted.
  ArchivePeer::max_page_count(stats_) = pages;
  ArchivePeer::data_added(stats_) = true;
  const std::string kept = rows();
  stats_.check_size();
  EXPECT_EQ(rows(), kept);
  EXPECT_FALSE(stats_.data_added());
}

}  // namespace
}  // namespace kvo
