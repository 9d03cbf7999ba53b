// The sampling cycle, log forwarding and restore on a real working database:
// what each kind of value becomes, when a key is due, the lines a user reads
// and the totals that come back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "archive/archive.h"
#include "archive/insert_pieces.h"
#include "archive/key_value.h"
#include "base/sqlite_handle.h"
#include "support/device.h"

namespace kvo {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

class SamplingTest : public DeviceTest {
 protected:
  // Keys of `type` holding `value` (JSON text), configured with `entry`.
  void add(const std::string& name, int type, const std::string& value,
           const std::string& entry = R"("save_to_db": true)") {
    sim_.set_key(name, "VEH", type, parse_json(value));
    if (!list_.empty()) list_ += ",";
    list_ += R"({"name": ")" + name + "\", " + entry + "}";
  }
  void configure() {
    stats_.apply_config(parse_json(R"({"list": [)" + list_ + "]}"), 3, 30);
  }
  std::string rows() {
    return sql(kStatsDb,
               "SELECT key, typeof(value), value FROM data ORDER BY rowid");
  }
  // The lines forwarded to the log, with their priority.
  std::vector<std::string> forwarded() const {
    std::vector<std::string> out;
    for (const LogLine& line : log_.lines()) {
      if (line.priority <= LOG_NOTICE)
        out.push_back(std::to_string(line.priority) + " " + line.text);
    }
    return out;
  }

  std::string list_;
  Archive stats_{"stats"};
};

TEST_F(SamplingTest, EachKindOfValueIsStoredAsItsLiteralInOneStatement) {
  add("I_NUM", KEY_TYPE_INT, "7.9");
  add("I_NEG", KEY_TYPE_INT, "-7.9");
  add("I_BIG", KEY_TYPE_INT, "3000000000");
  add("D_SMALL", KEY_TYPE_DOUBLE, "0.0000004");
  add("D_PI", KEY_TYPE_DOUBLE, "3.14159265");
  add("B_TRUE", KEY_TYPE_INT, "true");
  add("B_FALSE", KEY_TYPE_DOUBLE, "false");
  add("S_TEXT", KEY_TYPE_INT, R"("it's'); DROP TABLE data; --")");
  add("N_NULL", KEY_TYPE_DOUBLE, "null");
  add("A_ARRAY", KEY_TYPE_DOUBLE, "[1]");
  add("it's", KEY_TYPE_DOUBLE, "1.5");
  add("T_NUL", KEY_TYPE_STRING, R"("a\u0000b")");  // Cut where C cuts.
  configure();
  stats_.create_schema();
  EXPECT_EQ(stats_.save_to_db(100, false), 0);
  EXPECT_EQ(rows(),
            "B_FALSE|real|0.0\nB_TRUE|real|1.0\nD_PI|real|3.141593\n"
            "D_SMALL|real|0.0\nI_NEG|real|-7.0\nI_NUM|real|7.0\n"
            "S_TEXT|text|it's'); DROP TABLE data; --\nT_NUL|text|a\n"
            "it's|real|1.5\n");
  EXPECT_EQ(log_.count("Copied 9 entries"), 1);
  // Values without a row keep their keys due.
  EXPECT_EQ(stats_.keys().at("N_NULL").next_sample_time, 0u);
  EXPECT_EQ(stats_.keys().at("I_NUM").next_sample_time, 100u);
}

// Batches of pieces, at their bounds, with quoted names, texts like tuples
// and numbers of every size: the one statement's rows, at one time; none of
// a batch that cannot fit or meets a reader's lock, and no transaction left
// open; a table of another shape gets the one statement.
TEST_F(SamplingTest, ALargeCycleStoresWhatItsOneStatementWouldOrNothing) {
  std::mt19937 random(11);
  for (int keys : {256, 257, 513, 1100}) {
    Json::Value sysdb(Json::objectValue), config;
    for (int i = 0; i < keys; ++i) {
      const std::string name =
          "K" + std::to_string(i) + (random() % 4 ? "" : "'s");
      const bool text = random() % 3 == 0;
      sysdb[name]["namedb"] = "VEH";
      sysdb[name]["type"] = text ? KEY_TYPE_STRING : KEY_TYPE_DOUBLE;
      sysdb[name]["value"] =
          text ? Json::Value("x'),('y'," + std::to_string(i))
               : Json::Value(std::ldexp(random() - 2e9,
                                        static_cast<int>(random() % 60) - 30));
      config["list"][i]["name"] = name;
      config["list"][i]["save_to_db"] = true;
    }
    sim_.write("sysdb.json", sysdb.toStyledString());
    stats_.apply_config(config, 3, 30);
    stats_.create_schema();
    sql(kStatsDb, "DELETE FROM data");
    EXPECT_EQ(stats_.save_to_db(100, false), 0);

    std::string whole = kInsertHeader;
    for (const auto& [name, key] : stats_.keys()) {
      const Json::Value& value = sysdb[name]["value"];
      if (whole.back() == ')') whole += ',';
      whole += value.isString() ? stats_.save_string(name, value.asString())
                                : stats_.save_double(name, value.asDouble());
    }
    const std::string twin = kVolatileDir + std::to_string(keys) + ".db";
    write_file(twin + ".sql", kCreateTable + (";" + whole));
    shell("/usr/bin/sqlite3 " + twin + " < " + twin + ".sql");
    const char* dump = "SELECT rowid,key,typeof(value),quote(value) FROM data";
    EXPECT_EQ(sql(kStatsDb, dump), sql(twin, dump)) << keys;
    EXPECT_EQ(sql(kStatsDb, "SELECT count(DISTINCT ts) FROM data"), "1\n");
  }

  sql(kStatsDb, "DELETE FROM data");
  stats_.set_max_page_count(6);  // Room for the first piece only.
  stats_.save_to_db(200, true);
  EXPECT_EQ(sql(kStatsDb, "SELECT count(*) FROM data"), "0\n");
  EXPECT_THAT(log_.texts(LOG_NOTICE).back(),
              StartsWith("Error adding entry (13:"));

  stats_.set_max_page_count(kHardPageLimit);
  SqliteDb reader;
  sqlite3_open(kStatsDb.c_str(), reader.out());
  sqlite3_exec(reader.get(), "BEGIN; SELECT * FROM data", nullptr, nullptr,
               nullptr);
  stats_.save_to_db(250, true);
  reader.reset();
  EXPECT_THAT(log_.texts(LOG_NOTICE).back(),
              StartsWith("Error adding entry (5:"));

  sql(kStatsDb, "DROP TABLE data; CREATE TABLE data (key TEXT, value BLOB)");
  stats_.save_to_db(300, true);
  EXPECT_EQ(sql(kStatsDb, "SELECT count(*) FROM data"), "1100\n");
}

// Values no JSON file holds, but a device's system database may return.
TEST(StoredNumberTest, NumbersWithoutATruthfulLiteralAreNotStored) {
  double number = 0;
  for (double value : {INFINITY, -INFINITY, NAN}) {
    EXPECT_FALSE(stored_number(Json::Value(value), KEY_TYPE_DOUBLE, &number));
    EXPECT_FALSE(stored_number(Json::Value(value), KEY_TYPE_INT, &number));
  }
}

TEST_F(SamplingTest, KeysAreDueByTheirOwnPeriodAndAllOnAForcedSave) {
  add("P0", KEY_TYPE_DOUBLE, "1", R"("save_to_db": true, "period": 0)");
  add("P10", KEY_TYPE_DOUBLE, "2", R"("save_to_db": true, "period": 10)");
  add("LOGGED", KEY_TYPE_DOUBLE, "3", R"("send_to_log": 1)");
  configure();
  stats_.create_schema();
  auto sampled_at = [&](uint32_t now, bool force) {
    sql(kStatsDb, "DELETE FROM data");
    stats_.save_to_db(now, force);
    return sql(kStatsDb, "SELECT group_concat(key) FROM data");
  };
  EXPECT_EQ(sampled_at(100, false), "P0,P10\n");
  EXPECT_EQ(sampled_at(109, false), "P0\n");
  EXPECT_EQ(sampled_at(110, false), "P0,P10\n");  // Due at its time.
  EXPECT_EQ(sampled_at(111, true), "P0,P10\n");
  EXPECT_EQ(stats_.keys().at("P10").next_sample_time, 121u);

  // A key that cannot be read stays due; the others are sampled.
  Json::Value sysdb = sim_.sysdb();
  sysdb.removeMember("P10");
  sim_.write("sysdb.json", sysdb.toStyledString());
  EXPECT_EQ(sampled_at(200, false), "P0\n");
  EXPECT_EQ(stats_.keys().at("P10").next_sample_time, 121u);
  // Taken into the list again, a key is due at once.
  stats_.add_key("P0", true, 10, 0, 0, false);
  EXPECT_EQ(stats_.keys().at("P0").next_sample_time, 0u);
}

TEST_F(SamplingTest, UpdateSavesUntilTheArchivePeriodHasRunOutThenBacksUp) {
  add("P0", KEY_TYPE_DOUBLE, "1");
  stats_.initialize();
  configure();
  stats_.create_schema();
  const uint32_t due = stats_.next_archive_time();
  stats_.update(due);
  EXPECT_EQ(log_.count("Backing up archive (stats)"), 0);
  EXPECT_EQ(sql(kStatsDb, "SELECT count(*) FROM data"), "1\n");
  stats_.update(due + 1);
  EXPECT_EQ(log_.count("Backing up archive (stats)"), 1);
  EXPECT_EQ(log_.count("Finished backing up archive (stats)"), 1);
  EXPECT_EQ(stats_.next_archive_time(), due + 1 + 1800);

  // Without a saved key there is neither a save nor a backup.
  list_.clear();
  add("LOGGED", KEY_TYPE_DOUBLE, "3", R"("send_to_log": 1)");
  configure();
  log_.clear();
  stats_.update(due + 5000);
  EXPECT_EQ(log_.count("Saving sysdb to db"), 0);
  EXPECT_EQ(log_.count("Backing up archive (stats)"), 0);
  EXPECT_EQ(log_.count("LOGGED=3.000000"), 1);
  log_.clear();  // Nothing to insert: no statement runs.
  stats_.save_to_db(due + 6000, false);
  EXPECT_EQ(log_.texts(LOG_NOTICE), std::vector<std::string>{});
}

TEST_F(SamplingTest, LogForwardingWritesDueKeysAtTheirModesPriority) {
  add("ALERT", KEY_TYPE_INT, "7.9", R"("send_to_log": 2, "log_period": 60)");
  add("BOOL", KEY_TYPE_INT, "true", R"("send_to_log": 1, "log_period": 0)");
  add("DOUBLE", KEY_TYPE_DOUBLE, "7.9",
      R"("send_to_log": 3, "log_period": 60)");
  add("NONE", KEY_TYPE_DOUBLE, "null", R"("send_to_log": 1, "log_period": 60)");
  add("OFF", KEY_TYPE_DOUBLE, "1", R"("send_to_log": 0)");
  add("TEXT", KEY_TYPE_STRING, R"("abc")",
      R"("send_to_log": 1, "log_period": 30)");
  const char* once = R"("send_to_log": 1, "log_period": 60)";
  add("X_FALSE", KEY_TYPE_DOUBLE, "false", once);
  add("X_NEG", KEY_TYPE_INT, "-7.9", once);
  add("X_NEG_D", KEY_TYPE_DOUBLE, "-0.5", once);
  add("X_ZERO", KEY_TYPE_INT, "0", once);
  configure();
  stats_.send_to_log(100);
  EXPECT_THAT(forwarded(),
              ElementsAre("1 ALERT=7", "5 BOOL=1", "5 DOUBLE=7.900000",
                          "5 TEXT=abc", "5 X_FALSE=0", "5 X_NEG=-7",
                          "5 X_NEG_D=-0.500000", "5 X_ZERO=0"));
  log_.clear();
  stats_.send_to_log(129);
  EXPECT_THAT(forwarded(), ElementsAre("5 BOOL=1"));
  log_.clear();
  stats_.send_to_log(130);  // Due at its time; a value of no kind waits too.
  EXPECT_THAT(forwarded(), ElementsAre("5 BOOL=1", "5 TEXT=abc"));
  EXPECT_EQ(stats_.keys().at("NONE").next_log_time, 160u);
}

// Each restorable key gets back the value of its row inserted last, even
// when a clock set back gave that row an older time, and only ever a value
// of its own: a name crafted to match another key's rows matches none.
TEST_F(SamplingTest, RestoreWritesBackEachKeysLastInsertedValue) {
  const char* restore = R"("restore": true)";
  add("VEH_ODOMETER", KEY_TYPE_DOUBLE, "1", restore);
  add("it's", KEY_TYPE_INT, "1", restore);
  add("X' OR key='VEH_ODOMETER", KEY_TYPE_DOUBLE, "1", restore);
  add("NAME", KEY_TYPE_STRING, R"("none")", restore);
  add("NO_ROWS", KEY_TYPE_INT, "6", restore);
  add("KEPT", KEY_TYPE_DOUBLE, "5", R"("restore": false)");
  configure();
  sql(kStatsDb,
      std::string(kCreateTable) +
          "; INSERT INTO data (ts,key,value) VALUES "
          "('2020-01-01','X'' OR key=''VEH_ODOMETER',7.25),"
          "('2030-01-01','VEH_ODOMETER',9.5),"
          "('2020-01-01','VEH_ODOMETER',48250.25),"
          "('2030-01-01','it''s',3),('2020-01-01','it''s',4.9),"
          "('2020-01-01','NAME','O''Neil 7'),('2020-01-01','KEPT',8)");
  stats_.restore_values();
  const Json::Value sysdb = sim_.sysdb();
  std::string restored;
  for (const std::string& name : sysdb.getMemberNames()) {
    restored += name + "=" + sysdb[name]["value"].toStyledString();
  }
  EXPECT_EQ(restored,
            "KEPT=5\nNAME=\"O'Neil 7\"\nNO_ROWS=6\nVEH_ODOMETER=48250.25\n"
            "X' OR key='VEH_ODOMETER=7.25\nit's=4\n");
  EXPECT_EQ(log_.texts(LOG_NOTICE), std::vector<std::string>{});
}

}  // namespace
}  // namespace kvo
