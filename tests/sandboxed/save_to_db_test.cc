#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <syslog.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "sandboxed/working_db.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::IsSupersetOf;
using ::testing::Not;
using ::testing::StartsWith;
using namespace testing_db;

constexpr char kHeader[] = "INSERT into data (key,value) VALUES ";

int record_insert(unsigned, void* inserts, void*, void* sql) {
  const char* text = static_cast<const char*>(sql);
  if (std::strncmp(text, "INSERT", 6) == 0) {
    static_cast<std::vector<std::string>*>(inserts)->push_back(text);
  }
  return 0;
}

// An archive with its working database and table in place, every INSERT
// that reaches SQLite recorded.
class SaveToDbTest : public DeviceTest {
 protected:
  SaveToDbTest() {
    EXPECT_EQ(archive_.create_schema(), 0);
    sqlite3_trace_v2(ArchivePeer::db(archive_), SQLITE_TRACE_STMT,
                     record_insert, &inserts_);
    log_.clear();
  }

  void add_saved_key(const std::string& name, const Json::Value& value,
                     uint16_t period = 10) {
    sim_.set_key(name, "VEH", KEY_TYPE_DOUBLE, value);
    archive_.add_key(name, true, period, 0, 0, false);
  }
  uint32_t& sample_time(const std::string& name) {
    return ArchivePeer::key(archive_, name).next_sample_time;
  }
  // Every row as "key|storage class|SQL literal", oldest first.
  std::vector<std::string> stored_rows() {
    DbFile other(kStatsDb);
    return query(other.get(),
                 "SELECT key||'|'||typeof(value)||'|'||quote(value) FROM data "
                 "ORDER BY rowid");
  }

  SimDir sim_;
  Archive archive_{"stats"};
  std::vector<std::string> inserts_;
};

TEST_F(SaveToDbTest, DueKeysGoIntoOneStatementInKeyOrder) {
  EXPECT_EQ(archive_.save_to_db(100, false), 0);
  EXPECT_THAT(inserts_, IsEmpty());
  EXPECT_THAT(log_.texts(),
              ElementsAre("Saving sysdb to db", "Copied 0 entries"));
  EXPECT_FALSE(archive_.data_added());

  add_saved_key("VEH_ODOMETER", 812, 10);
  add_saved_key("GPS_LAST_VALID_LAT", 51.5074, 30);
  log_.clear();
  EXPECT_EQ(archive_.save_to_db(100, false), 0);

  EXPECT_THAT(inserts_, ElementsAre(std::string(kHeader) +
                                    "('GPS_LAST_VALID_LAT',51.507400),"
                                    "('VEH_ODOMETER',812.000000)"));
  EXPECT_THAT(stored_rows(), ElementsAre("GPS_LAST_VALID_LAT|real|51.5074",
                                         "VEH_ODOMETER|real|812.0"));
  EXPECT_THAT(log_.lines(), Contains(LogLine{LOG_INFO, "Copied 2 entries"}));
  EXPECT_THAT(log_.texts(LOG_DEBUG),
              ElementsAre("Saving sysdb to db",
                          "Update:0 key:GPS_LAST_VALID_LAT save:1 now:100 "
                          "sample:0",
                          "Saving GPS_LAST_VALID_LAT = 51.507400",
                          "Update:0 key:VEH_ODOMETER save:1 now:100 sample:0",
                          "Saving VEH_ODOMETER = 812.000000"));
  EXPECT_TRUE(archive_.data_added());
  EXPECT_EQ(sample_time("GPS_LAST_VALID_LAT"), 130u);
  EXPECT_EQ(sample_time("VEH_ODOMETER"), 110u);
}

TEST_F(SaveToDbTest, EachValueIsStoredAsOneValueOfItsKind) {
  sim_.write("sysdb.json", R"({
      "BOOL_TRUE": {"namedb": "VEH", "type": 2, "value": true},
      "DOUBLE_TINY": {"namedb": "VEH", "type": 3, "value": 0.0000004},
      "INT_ABOVE": {"namedb": "VEH", "type": 2, "value": 3000000000},
      "INT_SEVEN": {"namedb": "VEH", "type": 2, "value": 7},
      "INT_TEXT": {"namedb": "VEH", "type": 2, "value": "7"},
      "OBJECT": {"namedb": "VEH", "type": 3, "value": {"a": 1}},
      "O'NAME": {"namedb": "VEH", "type": 4, "value": "it's"},
      "TEXT_NUL": {"namedb": "VEH", "type": 4, "value": "ab\u0000cd"}})");
  for (const std::string& name : sim_.sysdb().getMemberNames()) {
    archive_.add_key(name, true, 10, 0, 0, false);
  }
  ASSERT_EQ(archive_.keys().size(), 8u);

  archive_.save_to_db(100, false);

  EXPECT_THAT(inserts_,
              ElementsAre(std::string(kHeader) + "('BOOL_TRUE',1.000000),"
                                                 "('DOUBLE_TINY',0.000000),"
                                                 "('INT_SEVEN',7.000000),"
                                                 "('INT_TEXT','7'),"
                                                 "('O''NAME','it''s'),"
                                                 "('TEXT_NUL','ab')"));
  EXPECT_THAT(stored_rows(),
              ElementsAre("BOOL_TRUE|real|1.0", "DOUBLE_TINY|real|0.0",
                          "INT_SEVEN|real|7.0", "INT_TEXT|text|'7'",
                          "O'NAME|text|'it''s'", "TEXT_NUL|text|'ab'"));
  EXPECT_EQ(log_.count("Copied 6 entries"), 1);
  // Values without a truthful literal are left out like unreadable ones:
  // nothing that a restore could mistake for a real total.
  EXPECT_EQ(sample_time("INT_ABOVE"), 0u);
  EXPECT_EQ(sample_time("OBJECT"), 0u);
  EXPECT_EQ(sample_time("TEXT_NUL"), 110u);
}

TEST_F(SaveToDbTest, KeyIsSampledWhenDueOrForcedAndRetriedAfterAFailedRead) {
  add_saved_key("AT_NOW", 1, 10);
  add_saved_key("EVERY_CALL", 2, 0);
  add_saved_key("LATER", 3, 10);
  add_saved_key("UNREADABLE", 4, 10);
  sim_.set_key("UNSAVED", "VEH", KEY_TYPE_INT, 5);
  archive_.add_key("UNSAVED", false, 0, 0, 0, false);
  sample_time("AT_NOW") = 1000;
  sample_time("LATER") = 1001;
  // Moved to another named database: reads through VEH now fail.
  sim_.set_key("UNREADABLE", "SYS", KEY_TYPE_DOUBLE, 4);
  log_.clear();

  archive_.save_to_db(1000, false);
  archive_.save_to_db(1000, false);
  EXPECT_THAT(inserts_,
              ElementsAre(std::string(kHeader) +
                              "('AT_NOW',1.000000),('EVERY_CALL',2.000000)",
                          std::string(kHeader) + "('EVERY_CALL',2.000000)"));
  EXPECT_EQ(sample_time("AT_NOW"), 1010u);
  EXPECT_EQ(sample_time("EVERY_CALL"), 1000u);
  EXPECT_EQ(sample_time("LATER"), 1001u);
  EXPECT_EQ(sample_time("UNREADABLE"), 0u);
  EXPECT_EQ(log_.count("Update:0 key:UNSAVED save:0 now:1000 sample:0"), 2);

  sim_.set_key("UNREADABLE", "VEH", KEY_TYPE_DOUBLE, 4);
  inserts_.clear();
  log_.clear();
  archive_.save_to_db(1000, true);
  EXPECT_THAT(inserts_,
              ElementsAre(std::string(kHeader) + "('AT_NOW',1.000000),"
                                                 "('EVERY_CALL',2.000000),"
                                                 "('LATER',3.000000),"
                                                 "('UNREADABLE',4.000000)"));
  EXPECT_EQ(sample_time("LATER"), 1010u);
  EXPECT_EQ(log_.count("Update:1 key:UNSAVED save:0 now:1000 sample:0"), 1);
  EXPECT_EQ(log_.count("Copied 4 entries"), 1);
  EXPECT_EQ(stored_rows().size(), 2u + 1u + 4u);
}

TEST_F(SaveToDbTest, DatabaseThatCannotBeOpenedMovesNoClock) {
  Archive unopenable("missing/stats");  // its folder does not exist
  sim_.set_key("VEH_ODOMETER", "VEH", KEY_TYPE_DOUBLE, 812);
  unopenable.add_key("VEH_ODOMETER", true, 10, 0, 0, false);
  log_.clear();

  EXPECT_EQ(unopenable.save_to_db(100, true), -1);

  EXPECT_EQ(ArchivePeer::key(unopenable, "VEH_ODOMETER").next_sample_time, 0u);
  EXPECT_THAT(log_.texts(), Not(Contains(StartsWith("Copied"))));
  EXPECT_THAT(log_.texts(), Not(Contains(StartsWith("Update:"))));
}

TEST_F(SaveToDbTest, UpdateSavesUntilTheArchiveTimeHasPassedThenBacksUp) {
  sim_.set_key("VEH_ODOMETER", "VEH", KEY_TYPE_DOUBLE, 812);
  archive_.add_key("VEH_ODOMETER", true, 3600, 1, 0, false);
  std::filesystem::create_directories(archive_.archive_dir());
  // No backup scheduled: nothing is saved, but forwarding goes on.
  log_.clear();
  archive_.update(1000);
  EXPECT_THAT(
      log_.texts(),
      ElementsAre("Sending sysdb to logfile",
                  "Key:VEH_ODOMETER log mode:1 now:1000 log time:0",
                  "VEH_ODOMETER=812.000000", "update: next_archive_time:0"));

  ArchivePeer::next_archive_time(archive_) = 1000;
  log_.clear();
  archive_.update(1000);
  ASSERT_THAT(
      log_.texts(),
      IsSupersetOf({"Sending sysdb to logfile", "VEH_ODOMETER=812.000000",
                    "update: next_archive_time:1000", "Saving sysdb to db",
                    "Copied 1 entries"}));
  EXPECT_EQ(log_.texts()[0], "Sending sysdb to logfile");
  EXPECT_EQ(log_.count("Backing up archive (stats)"), 0);
  EXPECT_EQ(inserts_.size(), 1u);

  // One second late: the backup takes over and samples every saved key
  // itself, due or not (the odometer is not due again for an hour).
  log_.clear();
  archive_.update(1001);
  const std::vector<std::string> texts = log_.texts();
  auto backing_up =
      std::find(texts.begin(), texts.end(), "Backing up archive (stats)");
  ASSERT_NE(backing_up, texts.end());
  EXPECT_EQ(std::count(texts.begin(), backing_up, "Saving sysdb to db"), 0);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Saving sysdb to db"), 1);
  EXPECT_EQ(log_.count("Update:1 key:VEH_ODOMETER save:1 now:1001 sample:4600"),
            1);
  EXPECT_EQ(inserts_.size(), 2u);
  EXPECT_EQ(sample_time("VEH_ODOMETER"), 4601u);
}

}  // namespace
}  // namespace kvo
