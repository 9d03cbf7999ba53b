#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <syslog.h>

#include <string>

#include "sandboxed/working_db.h"
#include "service/archive.h"
#include "support/log_capture.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using namespace testing_db;

class RestoreTest : public ::testing::Test {
 protected:
  RestoreTest() { remove_working_files(); }
  ~RestoreTest() override { remove_working_files(); }

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
  LogCapture log_;
};

TEST_F(RestoreTest, WritesTheYoungestValueOfEachKeyByItsCurrentType) {
  add_key("VEH_ODOMETER", KEY_TYPE_INT, 0);
  add_key("GPS_LAST_VALID_LAT", KEY_TYPE_DOUBLE, 0.5);
  add_key("VEH_VIN", KEY_TYPE_STRING, "old");
  add_key("GPIO_PULSE_TOTAL1", KEY_TYPE_INT, 0);
  add_key("CELL_TOTAL_RX", KEY_TYPE_INT, 7);        // No rows.
  add_key("VEH_FUELUSED", KEY_TYPE_INT, 5, false);  // Not restored.
  add_key("ODD_TYPE", 5, "kept");                   // Type no write knows.
  write_rows(
      "('VEH_ODOMETER',100.000000),('GPS_LAST_VALID_LAT',51.507400),"
      "('VEH_ODOMETER',120.000000),('VEH_VIN','WDB1234'),"
      "('VEH_FUELUSED',9.000000),('ODD_TYPE','changed'),"
      "('GPIO_PULSE_TOTAL1',5000000000.000000)");

  EXPECT_EQ(stats_.restore_values(), 0);

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
  EXPECT_THAT(
      log_.texts(),
      ElementsAre("Restoring archive (stats)", "Setting max page count:2816",
                  "Setting disabling sync", "Copying archive to sysdb",
                  "Restoring CELL_TOTAL_RX", "Restoring GPIO_PULSE_TOTAL1",
                  "Val:2147483647 (0)", "Restoring GPS_LAST_VALID_LAT",
                  "Val:51.507400 (0)", "Restoring ODD_TYPE",
                  "Restoring VEH_ODOMETER", "Val:120 (0)", "Restoring VEH_VIN",
                  "Val:WDB1234 (0)", "Finished copying archive to sysdb",
                  "Finished restoring archive (stats:0)"));
  EXPECT_THAT(log_.lines(), Contains(LogLine{LOG_DEBUG, "Val:120 (0)"}));
}

TEST_F(RestoreTest, AKeyWithApostrophesIsRestoredFromItsOwnRowsOnly) {
  // Unquoted, this name would turn the query into one for key Z.
  const std::string name = "Y' OR key='Z";
  add_key(name, KEY_TYPE_INT, 0);
  add_key("Z", KEY_TYPE_INT, 0, false);
  write_rows("('Y'' OR key=''Z',11.000000),('Z',99.000000)");

  EXPECT_EQ(stats_.restore_key(ArchivePeer::keys(stats_).at(name), name), 0);

  EXPECT_EQ(value(name), 11);
  EXPECT_EQ(value("Z"), 0);
}

// SQL NULL is never sampled here, only found in a database from elsewhere. A
// text key then keeps its value; a number key gets the column conversion's 0.
TEST_F(RestoreTest, AYoungestNullLeavesATextKeyAndTheNextKeyFollows) {
  add_key("A_TEXT", KEY_TYPE_STRING, "current");
  add_key("B_INT", KEY_TYPE_INT, 0);
  add_key("C_INT", KEY_TYPE_INT, 48213);
  write_rows(
      "('A_TEXT','older'),('B_INT',3.000000),('A_TEXT',NULL),"
      "('C_INT',48000.000000),('C_INT',NULL)");

  EXPECT_EQ(stats_.restore_values(), 0);

  EXPECT_EQ(value("A_TEXT"), "current");
  EXPECT_EQ(value("B_INT"), 3);
  EXPECT_EQ(value("C_INT"), 0);
  EXPECT_THAT(log_.texts(LOG_DEBUG), ElementsAre("Val:3 (0)", "Val:0 (0)"));
}

TEST_F(RestoreTest, AFileThatIsNoDatabaseRestoresNothingAndFinishes) {
  add_key("VEH_ODOMETER", KEY_TYPE_INT, 812);
  write_file(kStatsDb, garbage());

  EXPECT_EQ(stats_.restore_values(), 0);

  EXPECT_EQ(value("VEH_ODOMETER"), 812);
  EXPECT_THAT(
      log_.texts(LOG_NOTICE),
      Contains("Error getting row data (26:SELECT value FROM data "
               "WHERE key='VEH_ODOMETER' ORDER BY rowid DESC LIMIT 1)"));
  EXPECT_EQ(log_.texts().back(), "Finished restoring archive (stats:0)");
}

}  // namespace
}  // namespace kvo
