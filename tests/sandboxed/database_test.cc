#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <syslog.h>

#include <filesystem>
#include <string>

#include "archive/archive.h"
#include "sandboxed/working_db.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace testing_db;

using DatabaseTest = DeviceTest;

TEST_F(DatabaseTest, FirstOpenAppliesConnectionSettingsOnceAndBuildsTheTable) {
  Archive stats("stats");
  ASSERT_EQ(stats.create_schema(), 0);

  EXPECT_THAT(log_.lines(),
              ElementsAre(LogLine{LOG_INFO, "Setting max page count:2816"},
                          LogLine{LOG_INFO, "Setting disabling sync"}));
  sqlite3* db = ArchivePeer::db(stats);
  EXPECT_EQ(query_int(db, "PRAGMA max_page_count"), 2816);
  EXPECT_EQ(query_int(db, "PRAGMA synchronous"), 0);
  DbFile other(kStatsDb);
  EXPECT_EQ(query_int(other.get(), "PRAGMA auto_vacuum"), 1);  // FULL, in file
  // SQLite keeps the statement without its IF NOT EXISTS.
  EXPECT_THAT(query(db, "SELECT sql FROM sqlite_master"),
              ElementsAre("CREATE TABLE data (ts TIMESTAMP DEFAULT "
                          "CURRENT_TIMESTAMP, key TEXT, value BLOB)"));
  uint32_t pages = 0;
  EXPECT_EQ(stats.get_page_count(&pages), 0);
  EXPECT_EQ(pages, std::filesystem::file_size(kStatsDb) / 4096);

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
  SimDir sim;
  sim.set_key("VEH_ODOMETER", "STATS", KEY_TYPE_INT, 812);
  Archive stats("stats");
  stats.add_key("VEH_ODOMETER", false, 0, 0, 0, true);
  log_.clear();

  EXPECT_EQ(stats.create_schema(), 0);
  uint32_t pages = 1;
  EXPECT_NE(stats.get_page_count(&pages), 0);
  EXPECT_EQ(pages, 0u);
  const std::string insert = "INSERT into data (key,value) VALUES ('K',1.0)";
  EXPECT_EQ(stats.add_entries(insert), -1);
  ArchivePeer::next_archive_time(stats) = 1000;
  ArchivePeer::data_added(stats) = true;
  stats.check_size();  // Takes the unreadable size as within the limit.
  EXPECT_FALSE(stats.data_added());
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

  // Restoring reads no row and writes nothing, but finishes.
  log_.clear();
  stats.restore_values();
  EXPECT_EQ(sim.sysdb()["VEH_ODOMETER"]["value"], 812);
  EXPECT_THAT(
      log_.texts(LOG_NOTICE),
      Contains("Error getting row data (26:SELECT value FROM data "
               "WHERE key='VEH_ODOMETER' ORDER BY rowid DESC LIMIT 1)"));
  EXPECT_EQ(log_.texts().back(), "Finished restoring archive (stats:0)");
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
  uint32_t pages = 1;
  EXPECT_NE(stats.get_page_count(&pages), 0);
  EXPECT_EQ(pages, 0u);
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

  std::filesystem::remove(kStatsDb);
  log_.clear();
  EXPECT_EQ(stats.open_db(), 0);
  EXPECT_TRUE(stats.db_open());
  EXPECT_THAT(log_.texts(), ElementsAre("Setting max page count:2816",
                                        "Setting disabling sync"));
}

class RestoreTest : public DeviceTest {
 protected:
  // A key of the system database and of the key list; the list's own type
  // is deliberately stale, since restoring asks the system database anew.
  void add_key(const std::string& name, int type, const Json::Value& value,
               bool restore = true) {
    sim_.set_key(name, "STATS", type, value);
    ArchiveKey key;
    key.namedb = "STATS";
    key.key_type = KEY_TYPE_STRING;
    key.restore = restore;
    ArchivePeer::keys(stats_)[name] = key;
  }

  // Rows written before the service starts, oldest first.
  void write_rows(const std::string& tuples) {
    DbFile earlier(kStatsDb);
    earlier.exec(kCreateTable);
    earlier.exec("INSERT into data (key,value) VALUES " + tuples);
  }

  Json::Value value(const std::string& name) {
    return sim_.sysdb()[name]["value"];
  }

  SimDir sim_;
  Archive stats_{"stats"};
};

TEST_F(RestoreTest, WritesTheYoungestValueOfEachKeyByItsCurrentType) {
  add_key("VEH_ODOMETER", KEY_TYPE_INT, 0);
  add_key("GPS_LAST_VALID_LAT", KEY_TYPE_DOUBLE, 0.5);
  add_key("VEH_VIN", KEY_TYPE_STRING, "old");
  add_key("GPIO_PULSE_TOTAL1", KEY_TYPE_INT, 0);
  add_key("CELL_TOTAL_RX", KEY_TYPE_INT, 7);        // No rows.
  add_key("VEH_FUELUSED", KEY_TYPE_INT, 5, false);  // Not restored.
  add_key("ODD_TYPE", 5, "kept");                   // Type no write knows.
  // Unquoted, this name would turn the query into one for key Z.
  const std::string quoted = "Y' OR key='Z";
  add_key(quoted, KEY_TYPE_INT, 0);
  add_key("Z", KEY_TYPE_INT, 0, false);
  // SQL NULL is never sampled here, only found in a database from elsewhere.
  // A text key then keeps its value; a number key gets the column
  // conversion's 0.
  add_key("A_TEXT", KEY_TYPE_STRING, "current");
  add_key("C_INT", KEY_TYPE_INT, 48213);
  write_rows(
      "('VEH_ODOMETER',100.000000),('GPS_LAST_VALID_LAT',51.507400),"
      "('VEH_ODOMETER',120.000000),('VEH_VIN','WDB1234'),"
      "('VEH_FUELUSED',9.000000),('ODD_TYPE','changed'),"
      "('GPIO_PULSE_TOTAL1',5000000000.000000),"
      "('Y'' OR key=''Z',11.000000),('Z',99.000000),"
      "('A_TEXT','older'),('A_TEXT',NULL),('C_INT',48000.000000),"
      "('C_INT',NULL)");

  stats_.restore_values();

  EXPECT_TRUE(value("VEH_ODOMETER").isInt());
  EXPECT_EQ(value("VEH_ODOMETER").asInt(), 120);
  EXPECT_TRUE(value("GPS_LAST_VALID_LAT").isDouble());
  EXPECT_DOUBLE_EQ(value("GPS_LAST_VALID_LAT").asDouble(), 51.5074);
  EXPECT_EQ(value("VEH_VIN"), "WDB1234");
  // Out of the 32-bit range only in a foreign database: clamped, not wrapped.
  EXPECT_EQ(value("GPIO_PULSE_TOTAL1").asInt(), 2147483647);
  EXPECT_EQ(value("CELL_TOTAL_RX"), 7);
  EXPECT_EQ(value("VEH_FUELUSED"), 5);
  EXPECT_EQ(value("ODD_TYPE"), "kept");
  EXPECT_EQ(value(quoted), 11);
  EXPECT_EQ(value("Z"), 0);
  EXPECT_EQ(value("A_TEXT"), "current");
  EXPECT_EQ(value("C_INT"), 0);
  EXPECT_THAT(
      log_.texts(),
      ElementsAre("Restoring archive (stats)", "Setting max page count:2816",
                  "Setting disabling sync", "Copying archive to sysdb",
                  "Restoring A_TEXT", "Restoring CELL_TOTAL_RX",
                  "Restoring C_INT", "Val:0 (0)", "Restoring GPIO_PULSE_TOTAL1",
                  "Val:2147483647 (0)", "Restoring GPS_LAST_VALID_LAT",
                  "Val:51.507400 (0)", "Restoring ODD_TYPE",
                  "Restoring VEH_ODOMETER", "Val:120 (0)", "Restoring VEH_VIN",
                  "Val:WDB1234 (0)", "Restoring " + quoted, "Val:11 (0)",
                  "Finished copying archive to sysdb",
                  "Finished restoring archive (stats:0)"));
  EXPECT_THAT(log_.lines(), Contains(LogLine{LOG_DEBUG, "Val:120 (0)"}));
}

}  // namespace
}  // namespace kvo
