#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <syslog.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sandboxed/working_db.h"
#include "service/archive.h"
#include "support/log_capture.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr char kHeader[] = "INSERT into data (key,value) VALUES ";

int record_insert(unsigned, void* inserts, void*, void* sql) {
  const char* text = static_cast<const char*>(sql);
  if (std::strncmp(text, "INSERT", 6) == 0) {
    static_cast<std::vector<std::string>*>(inserts)->push_back(text);
  }
  return 0;
}

// Every row of `data` as "key|storage class|SQL literal", oldest first,
// read through a connection of its own.
std::vector<std::string> stored_rows(const std::string& db_path) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  EXPECT_EQ(
      sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
      SQLITE_OK);
  sqlite3_stmt* query = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db,
                               "SELECT key, typeof(value), quote(value) FROM "
                               "data ORDER BY rowid",
                               -1, &query, nullptr),
            SQLITE_OK);
  while (query != nullptr && sqlite3_step(query) == SQLITE_ROW) {
    std::string row;
    for (int column = 0; column < 3; ++column) {
      if (column > 0) row += '|';
      row.append(
          reinterpret_cast<const char*>(sqlite3_column_text(query, column)),
          static_cast<size_t>(sqlite3_column_bytes(query, column)));
    }
    rows.push_back(row);
  }
  sqlite3_finalize(query);
  sqlite3_close(db);
  return rows;
}

// An archive with its working database and table in place, every INSERT
// that reaches SQLite recorded.
class SaveToDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::remove(archive_.db_path().c_str());
    ASSERT_EQ(archive_.create_schema(), 0);
    sqlite3_trace_v2(ArchivePeer::db(archive_), SQLITE_TRACE_STMT,
                     record_insert, &inserts_);
  }

  void add_saved_key(const std::string& name, int type,
                     const Json::Value& value, uint16_t period = 10) {
    sim_.set_key(name, "VEH", type, value);
    archive_.add_key(name, true, period, 0, 0, false);
  }
  uint32_t sample_time(const std::string& name) {
    return ArchivePeer::keys(archive_).at(name).next_sample_time;
  }
  // How often "Copied <count> entries" was logged.
  int copied(unsigned count) {
    return log_.count("Copied " + std::to_string(count) + " entries");
  }

  SimDir sim_;
  Archive archive_{"stats"};
  LogCapture log_;
  std::vector<std::string> inserts_;
};

TEST_F(SaveToDbTest, DueKeysGoIntoOneStatementInKeyOrder) {
  add_saved_key("VEH_ODOMETER", KEY_TYPE_DOUBLE, 812, 10);
  add_saved_key("GPS_LAST_VALID_LAT", KEY_TYPE_DOUBLE, 51.5074, 30);
  log_.clear();

  EXPECT_EQ(archive_.save_to_db(100, false), 0);

  EXPECT_THAT(inserts_, ElementsAre(std::string(kHeader) +
                                    "('GPS_LAST_VALID_LAT',51.507400),"
                                    "('VEH_ODOMETER',812.000000)"));
  EXPECT_THAT(stored_rows(archive_.db_path()),
              ElementsAre("GPS_LAST_VALID_LAT|real|51.5074",
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
      "ARRAY": {"namedb": "VEH", "type": 3, "value": [1]},
      "BOOL_FALSE": {"namedb": "VEH", "type": 3, "value": false},
      "BOOL_TRUE": {"namedb": "VEH", "type": 2, "value": true},
      "DOUBLE_TINY": {"namedb": "VEH", "type": 3, "value": 0.0000004},
      "INJECTION": {"namedb": "VEH", "type": 4,
                    "value": "x'); DROP TABLE data; --"},
      "INT_ABOVE": {"namedb": "VEH", "type": 2, "value": 3000000000},
      "INT_FRACTION": {"namedb": "VEH", "type": 2, "value": -7.9},
      "INT_SEVEN": {"namedb": "VEH", "type": 2, "value": 7},
      "INT_TEXT": {"namedb": "VEH", "type": 2, "value": "7"},
      "NULL": {"namedb": "VEH", "type": 3, "value": null},
      "OBJECT": {"namedb": "VEH", "type": 3, "value": {"a": 1}},
      "O'NAME": {"namedb": "VEH", "type": 4, "value": "it's"},
      "TEXT_NUL": {"namedb": "VEH", "type": 4, "value": "ab\u0000cd"}})");
  for (const std::string name :
       {"ARRAY", "BOOL_FALSE", "BOOL_TRUE", "DOUBLE_TINY", "INJECTION",
        "INT_ABOVE", "INT_FRACTION", "INT_SEVEN", "INT_TEXT", "NULL", "OBJECT",
        "O'NAME", "TEXT_NUL"}) {
    archive_.add_key(name, true, 10, 0, 0, false);
  }
  ASSERT_EQ(archive_.keys().size(), 13u);

  archive_.save_to_db(100, false);

  EXPECT_THAT(inserts_, ElementsAre(std::string(kHeader) +
                                    "('BOOL_FALSE',0.000000),"
                                    "('BOOL_TRUE',1.000000),"
                                    "('DOUBLE_TINY',0.000000),"
                                    "('INJECTION','x''); DROP TABLE data; --'),"
                                    "('INT_FRACTION',-7.000000),"
                                    "('INT_SEVEN',7.000000),"
                                    "('INT_TEXT','7'),"
                                    "('O''NAME','it''s'),"
                                    "('TEXT_NUL','ab')"));
  EXPECT_THAT(stored_rows(archive_.db_path()),
              ElementsAre("BOOL_FALSE|real|0.0", "BOOL_TRUE|real|1.0",
                          "DOUBLE_TINY|real|0.0",
                          "INJECTION|text|'x''); DROP TABLE data; --'",
                          "INT_FRACTION|real|-7.0", "INT_SEVEN|real|7.0",
                          "INT_TEXT|text|'7'", "O'NAME|text|'it''s'",
                          "TEXT_NUL|text|'ab'"));
  EXPECT_EQ(copied(9), 1);
  // Values without a truthful literal are left out like unreadable ones:
  // nothing that a restore could mistake for a real total.
  for (const std::string name : {"ARRAY", "INT_ABOVE", "NULL", "OBJECT"}) {
    EXPECT_EQ(sample_time(name), 0u) << name;
  }
  EXPECT_EQ(sample_time("TEXT_NUL"), 110u);
}

TEST_F(SaveToDbTest, KeyIsSampledWhenDueOrForcedAndRetriedAfterAFailedRead) {
  add_saved_key("AT_NOW", KEY_TYPE_INT, 1, 10);
  add_saved_key("EVERY_CALL", KEY_TYPE_INT, 2, 0);
  add_saved_key("LATER", KEY_TYPE_INT, 3, 10);
  add_saved_key("UNREADABLE", KEY_TYPE_INT, 4, 10);
  sim_.set_key("UNSAVED", "VEH", KEY_TYPE_INT, 5);
  archive_.add_key("UNSAVED", false, 0, 0, 0, false);
  ArchivePeer::keys(archive_).at("AT_NOW").next_sample_time = 1000;
  ArchivePeer::keys(archive_).at("LATER").next_sample_time = 1001;
  // Moved to another named database: reads through VEH now fail.
  sim_.set_key("UNREADABLE", "SYS", KEY_TYPE_INT, 4);
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

  sim_.set_key("UNREADABLE", "VEH", KEY_TYPE_INT, 4);
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
  EXPECT_EQ(copied(4), 1);
  EXPECT_EQ(stored_rows(archive_.db_path()).size(), 2u + 1u + 4u);
}

TEST_F(SaveToDbTest, NothingDueOpensTheDatabaseButInsertsNothing) {
  Archive empty("archive");
  log_.clear();

  EXPECT_EQ(empty.save_to_db(100, false), 0);

  EXPECT_TRUE(empty.db_open());
  EXPECT_THAT(log_.texts(LOG_DEBUG), ElementsAre("Saving sysdb to db"));
  EXPECT_THAT(log_.texts(LOG_INFO), Contains("Copied 0 entries"));
  EXPECT_FALSE(empty.data_added());

  add_saved_key("VEH_ODOMETER", KEY_TYPE_DOUBLE, 812);
  ArchivePeer::keys(archive_).at("VEH_ODOMETER").next_sample_time = 101;
  archive_.save_to_db(100, false);
  EXPECT_THAT(inserts_, IsEmpty());
  EXPECT_EQ(copied(0), 2);
}

TEST_F(SaveToDbTest, DatabaseThatCannotBeOpenedMovesNoClock) {
  Archive unopenable("missing/stats");  // its folder does not exist
  sim_.set_key("VEH_ODOMETER", "VEH", KEY_TYPE_DOUBLE, 812);
  unopenable.add_key("VEH_ODOMETER", true, 10, 0, 0, false);
  log_.clear();

  EXPECT_EQ(unopenable.save_to_db(100, true), -1);

  EXPECT_EQ(ArchivePeer::keys(unopenable).at("VEH_ODOMETER").next_sample_time,
            0u);
  EXPECT_THAT(log_.texts(), Not(Contains(testing::StartsWith("Copied"))));
  EXPECT_THAT(log_.texts(), Not(Contains(testing::StartsWith("Update:"))));
}

TEST_F(SaveToDbTest, UpdateSavesUntilTheArchiveTimeHasPassedThenBacksUp) {
  sim_.set_key("VEH_ODOMETER", "VEH", KEY_TYPE_DOUBLE, 812);
  archive_.add_key("VEH_ODOMETER", true, 3600, 1, 0, false);
  ArchivePeer::next_archive_time(archive_) = 1000;
  std::filesystem::create_directories(archive_.archive_dir());
  log_.clear();

  archive_.update(1000);
  ASSERT_THAT(log_.texts(),
              testing::IsSupersetOf(
                  {"Sending sysdb to logfile", "VEH_ODOMETER=812.000000",
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
