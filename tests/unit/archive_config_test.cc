#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <json/reader.h>

#include <sstream>

#include "platform/utils.h"
#include "service/archive.h"
#include "service/stats_config.h"
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

  SimDir sim_;
  LogCapture log_;
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
  EXPECT_EQ(log_.lines().front().priority, LOG_INFO);
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
  Archive archive("archive");
  archive.apply_config(Json::Value(), 10, 30);
  EXPECT_EQ(archive.max_page_count(), 2560u);
  EXPECT_EQ(log_.texts().back(), "Max size:10485760 Period:1800 (archive)");

  archive.apply_config(Json::Value(), 4096, 1);
  EXPECT_EQ(archive.max_page_count(), 0u);
  EXPECT_EQ(archive.archive_period(), 60u);
  archive.apply_config(Json::Value(), 4097, 0);
  EXPECT_EQ(archive.max_page_count(), 256u);
  EXPECT_EQ(log_.texts().back(), "Max size:1048576 Period:0 (archive)");
}

TEST_F(ArchiveConfigTest, AddKeyTakesOnlyKnownValueTypesWithNamedDatabase) {
  sim_.set_key("INT_KEY", "SYS", KEY_TYPE_INT, 1);
  sim_.set_key("TEXT_KEY", "SYS", KEY_TYPE_STRING, "x");
  sim_.set_key("HIGH_BITS", "SYS", 0x10003, 1.0);
  sim_.set_key("BOOL_TYPE", "SYS", 1, true);
  sim_.set_key("FIVE", "SYS", 5, 1);
  sim_.set_key("NO_DB", nullptr, KEY_TYPE_DOUBLE, 1.0);

  Archive archive("archive");
  for (const char* name : {"INT_KEY", "TEXT_KEY", "HIGH_BITS", "BOOL_TYPE",
                           "FIVE", "NO_DB", "UNKNOWN"}) {
    archive.add_key(name, true, 1, 0, 0, false);
  }

  EXPECT_THAT(key_names(archive),
              ElementsAre("HIGH_BITS", "INT_KEY", "TEXT_KEY"));
  EXPECT_EQ(archive.keys().at("HIGH_BITS").key_type, KEY_TYPE_DOUBLE);
  EXPECT_EQ(archive.keys().at("TEXT_KEY").key_type, KEY_TYPE_STRING);
  EXPECT_THAT(log_.texts(), ElementsAre("Added key INT_KEY to the list",
                                        "Added key TEXT_KEY to the list",
                                        "Added key HIGH_BITS to the list"));
}

TEST_F(ArchiveConfigTest, RepeatedNameOverwritesWholeEntryAndRestartsClocks) {
  add_double_key("VEH_ODOMETER");
  Archive archive("archive");
  archive.add_key("VEH_ODOMETER", true, 60, 2, 30, true);
  ArchivePeer::key(archive, "VEH_ODOMETER").next_sample_time = 1000;
  ArchivePeer::key(archive, "VEH_ODOMETER").next_log_time = 2000;
  archive.add_key("VEH_ODOMETER", false, 10, 0, 5, false);

  ASSERT_EQ(archive.keys().size(), 1u);
  const ArchiveKey& key = archive.keys().at("VEH_ODOMETER");
  EXPECT_EQ(key.period, 10);
  EXPECT_EQ(key.log_period, 5);
  EXPECT_EQ(key.send_to_log, 0);
  EXPECT_FALSE(key.save_to_db);
  EXPECT_FALSE(key.restore);
  EXPECT_EQ(key.next_sample_time, 0u);
  EXPECT_EQ(key.next_log_time, 0u);
  EXPECT_EQ(log_.count("Added key VEH_ODOMETER to the list"), 2);
}

TEST_F(ArchiveConfigTest, KeysWalkInUnsignedByteOrder) {
  const std::vector<std::string> names = {"b", "\xC3\xA9", "B", "AB", "A", "a"};
  for (const std::string& name : names) add_double_key(name);
  Json::Value doc;
  for (const std::string& name : names) {
    Json::Value entry;
    entry["name"] = name;
    doc["list"].append(entry);
  }
  Archive archive("archive");
  archive.apply_config(doc, 10, 30);
  EXPECT_THAT(key_names(archive),
              ElementsAre("A", "AB", "B", "a", "b", "\xC3\xA9"));
}

TEST_F(ArchiveConfigTest, EntriesPassLowSixteenBitsAndDefaultMissingMembers) {
  add_double_key("WRAP");
  add_double_key("BARE");
  Archive archive("archive");
  archive.apply_config(parse(R"({"list": [
      {"name": "WRAP", "period": 65537, "send_to_log": 65538,
       "log_period": 131071, "save_to_db": 2, "restore": 1},
      {"name": "BARE"},
      null]})"),
                       10, 30);

  const ArchiveKey& wrap = archive.keys().at("WRAP");
  EXPECT_EQ(wrap.period, 1);
  EXPECT_EQ(wrap.send_to_log, 2);
  EXPECT_EQ(wrap.log_period, 65535);
  EXPECT_TRUE(wrap.save_to_db);
  EXPECT_TRUE(wrap.restore);
  const ArchiveKey& bare = archive.keys().at("BARE");
  EXPECT_EQ(bare.period, 0);
  EXPECT_EQ(bare.send_to_log, 0);
  EXPECT_EQ(bare.log_period, 0);
  EXPECT_FALSE(bare.save_to_db);
  EXPECT_FALSE(bare.restore);
  EXPECT_EQ(archive.keys().size(), 2u);  // The null element names no key.
  EXPECT_NE(archive.next_archive_time(), 0u);
}

TEST_F(ArchiveConfigTest, BackupsScheduledOnlyWhenSomeEntrySaves) {
  add_double_key("LOGGED");
  Archive archive("archive");
  archive.apply_config(parse(R"({"list": [
      {"name": "LOGGED", "send_to_log": 1, "log_period": 10}]})"),
                       10, 30);
  EXPECT_EQ(archive.keys().size(), 1u);
  EXPECT_EQ(archive.next_archive_time(), 0u);

  // A refused key still asks for backups.
  archive.apply_config(parse(R"({"list": [
      {"name": "LOGGED"}, {"name": "NOT_IN_SYSDB", "save_to_db": true}]})"),
                       10, 30);
  EXPECT_EQ(archive.keys().size(), 1u);
  EXPECT_NE(archive.next_archive_time(), 0u);

  for (const char* doc : {"{}", R"({"list": []})", "null"}) {
    log_.clear();
    archive.apply_config(parse(doc), 10, 30);
    EXPECT_THAT(archive.keys(), IsEmpty()) << doc;
    EXPECT_EQ(archive.next_archive_time(), 0u) << doc;
    EXPECT_THAT(log_.texts(),
                ElementsAre("Updating archive config (archive)",
                            "Max size:10485760 Period:1800 (archive)"))
        << doc;
  }
}

TEST_F(ArchiveConfigTest, BadEntriesAreSkippedWithANoticeAndGoodOnesApplied) {
  add_double_key("GOOD1");
  add_double_key("GOOD2");
  add_double_key("SKIPPED");
  Archive archive("archive");
  const Json::Value doc = parse(R"({"list": [
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
      {"name": "GOOD2", "period": 60.0}]})");

  EXPECT_NO_THROW(archive.apply_config(doc, 10, 30));

  EXPECT_THAT(key_names(archive), ElementsAre("GOOD1", "GOOD2"));
  EXPECT_EQ(archive.keys().at("GOOD2").period, 60);
  EXPECT_EQ(archive.next_archive_time(),
            0u);  // Skipped entries count for nothing.
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

TEST_F(ArchiveConfigTest, DocumentsOfTheWrongShapeCountAsEmptyAndRecover) {
  add_double_key("GOOD");
  Archive archive("archive");
  const std::vector<std::pair<std::string, std::string>> shapes = {
      {"[1, 2]", "Config is not an object (archive)"},
      {"\"text\"", "Config is not an object (archive)"},
      {"12", "Config is not an object (archive)"},
      {R"({"list": {"name": "GOOD"}})",
       "Config list is not an array (archive)"},
      {R"({"list": "GOOD"})", "Config list is not an array (archive)"},
  };
  for (const auto& [text, notice] : shapes) {
    archive.apply_config(parse(R"({"list": [{"name": "GOOD"}]})"), 10, 30);
    log_.clear();
    EXPECT_NO_THROW(archive.apply_config(parse(text), 10, 30)) << text;
    EXPECT_THAT(archive.keys(), IsEmpty()) << text;
    EXPECT_EQ(archive.next_archive_time(), 0u) << text;
    EXPECT_THAT(log_.texts(LOG_NOTICE), ElementsAre(notice)) << text;
  }

  archive.apply_config(
      parse(R"({"list": [{"name": "GOOD", "save_to_db": true}]})"), 10, 30);
  EXPECT_THAT(key_names(archive), ElementsAre("GOOD"));
  EXPECT_NE(archive.next_archive_time(), 0u);
}

}  // namespace
}  // namespace kvo
