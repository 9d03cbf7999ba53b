#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <json/reader.h>

#include <sstream>

#include "platform/utils.h"
#include "archive/archive.h"
#include "archive/stats_config.h"
#include "support/archive_peer.h"
#include "support/log_capture.h"
#include "support/sim_dir.h"

namespace kvo {

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

Json::Value parse(const std::string& text) {
  Json::Value doc;
  std::istringstream in(text);
  Json::CharReaderBuilder builder;
  std::string errors;
  EXPECT_TRUE(Json::parseFromStream(builder, in, &doc, &errors)) << errors;
  return doc;
}

std::vector<std::string> key_names(const Archive& archive) {
  std::vector<std::string> names;
  for (const auto& entry : archive.keys()) names.push_back(entry.first);
  return names;
}

class ArchiveConfigTest : public ::testing::Test {
 protected:
  void add_double_key(const std::string& name) {
    sim_.set_key(name, "VEH", KEY_TYPE_DOUBLE, 1.5);
  }
  // Applies `text` with the archive instance's size and period.
  void apply(const std::string& text) {
    log_.clear();
    archive_.apply_config(parse(text), 10, 30);
  }

  SimDir sim_;
  LogCapture log_;
  Archive archive_{"archive"};
};

TEST_F(ArchiveConfigTest, BuiltInDocumentConfiguresAllStatsKeys) {
  const std::vector<std::string> names = {
      "VEH_ODOMETER",      "VEH_ODOMETER_GPS",   "VEH_ODOMETER_OBD",
      "VEH_FUELLEVEL",     "VEH_FUELUSED",       "VEH_FUELUSED_LVL",
      "VEH_FUELUSED_MAF",  "VEH_FUELUSED_RATE",  "VEH_IDLETIME",
      "VEH_IDLETIME_IGN",  "VEH_IDLETIME_RPM",   "VEH_ENGHOURS",
      "VEH_ENGHOURS_IGN",  "VEH_ENGHOURS_RPM",   "CELL_TOTAL_RX",
      "CELL_TOTAL_TX",     "GPS_LAST_VALID_LAT", "GPS_LAST_VALID_LON",
      "GPIO_PULSE_TOTAL1", "GPIO_PULSE_TOTAL2",  "GPIO_PULSE_TOTAL3",
      "GPIO_PULSE_TOTAL4"};
  Json::Value doc;
  build_stats_config(&doc);
  ASSERT_EQ(doc["list"].size(), names.size());
  std::vector<std::string> expected = {"Updating archive config (stats)"};
  for (Json::ArrayIndex i = 0; i < names.size(); ++i) {
    EXPECT_EQ(doc["list"][i]["name"].asString(), names[i]);
    EXPECT_EQ(doc["list"][i].getMemberNames().size(), 6u);
    add_double_key(names[i]);
    expected.push_back("Added key " + names[i] + " to the list");
  }
  expected.push_back("Max size:3145728 Period:1800 (stats)");

  Archive stats("stats");
  const uint32_t before = fwtime_s(0);
  stats.apply_config(doc, 3, 30);
  const uint32_t after = fwtime_s(0);

  EXPECT_THAT(log_.texts(), ElementsAreArray(expected));
  EXPECT_EQ(log_.lines()[0].priority, LOG_INFO);
  EXPECT_EQ(log_.lines()[1].priority, LOG_INFO);
  EXPECT_EQ(log_.lines().back().priority, LOG_DEBUG);
  ASSERT_EQ(stats.keys().size(), 22u);
  for (const auto& [name, key] : stats.keys()) {
    EXPECT_TRUE(key.save_to_db && key.restore) << name;
    EXPECT_EQ(key.period, 900) << name;
    EXPECT_EQ(key.log_period, 900) << name;
    EXPECT_EQ(key.send_to_log, 0) << name;
    EXPECT_EQ(key.key_type, KEY_TYPE_DOUBLE) << name;
    EXPECT_EQ(key.namedb, "VEH") << name;
  }
  EXPECT_EQ(stats.max_page_count(), 768u);
  EXPECT_EQ(stats.archive_period(), 1800u);
  EXPECT_GE(stats.next_archive_time(), before + 1800);
  EXPECT_LE(stats.next_archive_time(), after + 1800);
}

TEST_F(ArchiveConfigTest, SizeKeepsLowTwelveBitsAndPeriodIsMinutes) {
  archive_.apply_config(Json::Value(), 10, 30);
  EXPECT_EQ(archive_.max_page_count(), 2560u);
  EXPECT_EQ(log_.texts().back(), "Max size:10485760 Period:1800 (archive)");
  archive_.apply_config(Json::Value(), 4096, 1);
  EXPECT_EQ(archive_.max_page_count(), 0u);
  EXPECT_EQ(archive_.archive_period(), 60u);
  archive_.apply_config(Json::Value(), 4097, 0);
  EXPECT_EQ(archive_.max_page_count(), 256u);
  EXPECT_EQ(log_.texts().back(), "Max size:1048576 Period:0 (archive)");
}

TEST_F(ArchiveConfigTest, KeysOfKnownTypesAreTakenOnceEachInByteOrder) {
  sim_.set_key("INT_KEY", "SYS", KEY_TYPE_INT, 1);
  sim_.set_key("TEXT_KEY", "SYS", KEY_TYPE_STRING, "x");
  sim_.set_key("HIGH_BITS", "SYS", 0x10003, 1.0);
  sim_.set_key("BOOL_TYPE", "SYS", 1, true);
  sim_.set_key("FIVE", "SYS", 5, 1);
  sim_.set_key("LOW_BYTE_3", "SYS", 0x103, 1);
  sim_.set_key("NO_DB", nullptr, KEY_TYPE_DOUBLE, 1.0);
  for (const char* name : {"b", "\xC3\xA9", "B", "a"}) add_double_key(name);
  for (const char* name :
       {"INT_KEY", "TEXT_KEY", "HIGH_BITS", "BOOL_TYPE", "FIVE", "LOW_BYTE_3",
        "NO_DB", "UNKNOWN", "b", "\xC3\xA9", "B", "a"}) {
    archive_.add_key(name, true, 1, 0, 0, false);
  }
  EXPECT_THAT(key_names(archive_),
              ElementsAre("B", "HIGH_BITS", "INT_KEY", "TEXT_KEY", "a", "b",
                          "\xC3\xA9"));
  EXPECT_EQ(archive_.keys().at("HIGH_BITS").key_type, KEY_TYPE_DOUBLE);
  EXPECT_EQ(archive_.keys().at("TEXT_KEY").key_type, KEY_TYPE_STRING);
  EXPECT_THAT(
      log_.texts(),
      ElementsAre("Added key INT_KEY to the list",
                  "Added key TEXT_KEY to the list",
                  "Added key HIGH_BITS to the list", "Added key b to the list",
                  "Added key \xC3\xA9 to the list", "Added key B to the list",
                  "Added key a to the list"));

  // A repeated name overwrites the whole entry and restarts its clocks.
  archive_.add_key("a", true, 60, 2, 30, true);
  ArchivePeer::key(archive_, "a").next_sample_time = 1000;
  ArchivePeer::key(archive_, "a").next_log_time = 2000;
  archive_.add_key("a", false, 10, 0, 5, false);
  EXPECT_EQ(archive_.keys().size(), 7u);
  const ArchiveKey& key = archive_.keys().at("a");
  EXPECT_EQ(key.period, 10);
  EXPECT_EQ(key.log_period, 5);
  EXPECT_EQ(key.send_to_log, 0);
  EXPECT_FALSE(key.save_to_db);
  EXPECT_FALSE(key.restore);
  EXPECT_EQ(key.next_sample_time, 0u);
  EXPECT_EQ(key.next_log_time, 0u);
  EXPECT_EQ(log_.count("Added key a to the list"), 3);
}

TEST_F(ArchiveConfigTest, EntriesPassLowSixteenBitsAndDefaultMissingMembers) {
  add_double_key("WRAP");
  add_double_key("BARE");
  apply(R"({"list": [
      {"name": "WRAP", "period": 65537, "send_to_log": 65538,
       "log_period": 131071, "save_to_db": 2, "restore": 1},
      {"name": "BARE"},
      null]})");

  const ArchiveKey& wrap = archive_.keys().at("WRAP");
  EXPECT_EQ(wrap.period, 1);
  EXPECT_EQ(wrap.send_to_log, 2);
  EXPECT_EQ(wrap.log_period, 65535);
  EXPECT_TRUE(wrap.save_to_db);
  EXPECT_TRUE(wrap.restore);
  const ArchiveKey& bare = archive_.keys().at("BARE");
  EXPECT_EQ(bare.period, 0);
  EXPECT_EQ(bare.send_to_log, 0);
  EXPECT_EQ(bare.log_period, 0);
  EXPECT_FALSE(bare.save_to_db);
  EXPECT_FALSE(bare.restore);
  EXPECT_EQ(archive_.keys().size(), 2u);  // The null element names no key.
}

TEST_F(ArchiveConfigTest, BadEntriesAreSkippedWithANoticeAndGoodOnesApplied) {
  add_double_key("GOOD1");
  add_double_key("GOOD2");
  add_double_key("SKIPPED");
  EXPECT_NO_THROW(apply(R"({"list": [
      {"name": "GOOD1", "save_to_db": false, "period": 5},
      "VEH_ODOMETER",
      7,
      {"name": {"nested": 1}},
      {"name": "SKIPPED", "period": "10", "save_to_db": true},
      {"name": "SKIPPED", "period": -1},
      {"name": "SKIPPED", "period": 1.5},
      {"name": "SKIPPED", "send_to_log": 4294967296},
      {"name": "SKIPPED", "log_period": [1]},
      {"name": "SKIPPED", "save_to_db": "yes"},
      {"name": "SKIPPED", "restore": {}},
      {"name": "GOOD2", "period": 60.0}]})"));

  EXPECT_THAT(key_names(archive_), ElementsAre("GOOD1", "GOOD2"));
  EXPECT_EQ(archive_.keys().at("GOOD2").period, 60);
  // Skipped entries count for nothing.
  EXPECT_EQ(archive_.next_archive_time(), 0u);
  EXPECT_THAT(log_.texts(LOG_NOTICE),
              ElementsAre("Skipping config entry 1: bad entry (archive)",
                          "Skipping config entry 2: bad entry (archive)",
                          "Skipping config entry 3: bad name (archive)",
                          "Skipping config entry 4: bad period (archive)",
                          "Skipping config entry 5: bad period (archive)",
                          "Skipping config entry 6: bad period (archive)",
                          "Skipping config entry 7: bad send_to_log (archive)",
                          "Skipping config entry 8: bad log_period (archive)",
                          "Skipping config entry 9: bad save_to_db (archive)",
                          "Skipping config entry 10: bad restore (archive)"));
  EXPECT_EQ(log_.texts().back(), "Max size:10485760 Period:1800 (archive)");
}

TEST_F(ArchiveConfigTest, BackupsAreScheduledOnlyWhenSomeEntrySaves) {
  add_double_key("GOOD");
  apply(R"({"list": [{"name": "GOOD", "send_to_log": 1, "log_period": 10}]})");
  EXPECT_EQ(archive_.keys().size(), 1u);
  EXPECT_EQ(archive_.next_archive_time(), 0u);
  // A refused key still asks for backups.
  apply(R"({"list": [{"name": "GOOD"},
                     {"name": "NOT_IN_SYSDB", "save_to_db": true}]})");
  EXPECT_EQ(archive_.keys().size(), 1u);
  EXPECT_NE(archive_.next_archive_time(), 0u);

  // Documents without a list, or of the wrong shape, count as empty.
  const std::vector<std::pair<std::string, std::string>> shapes = {
      {"{}", ""},
      {R"({"list": []})", ""},
      {"null", ""},
      {"[1, 2]", "Config is not an object (archive)"},
      {"\"text\"", "Config is not an object (archive)"},
      {"12", "Config is not an object (archive)"},
      {R"({"list": {"name": "GOOD"}})",
       "Config list is not an array (archive)"},
      {R"({"list": "GOOD"})", "Config list is not an array (archive)"},
  };
  for (const auto& [text, notice] : shapes) {
    apply(R"({"list": [{"name": "GOOD", "save_to_db": true}]})");
    ASSERT_EQ(archive_.keys().size(),
              1u);  // Each bad document is recovered from.
    EXPECT_NO_THROW(apply(text)) << text;
    EXPECT_THAT(archive_.keys(), IsEmpty()) << text;
    EXPECT_EQ(archive_.next_archive_time(), 0u) << text;
    std::vector<std::string> expected = {"Updating archive config (archive)",
                                         "Max size:10485760 Period:1800 "
                                         "(archive)"};
    if (!notice.empty()) expected.insert(expected.begin() + 1, notice);
    EXPECT_EQ(log_.texts(), expected) << text;
  }
}

}  // namespace
}  // namespace kvo
