// Configuration documents, good and bad, turned into a key list, a size
// limit and a backup schedule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/archive.h"
#include "archive/stats_config.h"
#include "support/log_capture.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

using ::testing::ElementsAre;

class ArchiveConfigTest : public ::testing::Test {
 protected:
  ArchiveConfigTest() {
    for (const char* name : {"A", "AB", "B", "VEH_ODOMETER"}) {
      sim_.set_key(name, "VEH", KEY_TYPE_DOUBLE, 1);
    }
    sim_.set_key("WIDE", "VEH", 0x10000 + KEY_TYPE_STRING, "x");
    sim_.set_key("ODD_TYPE", "VEH", 5, 1);
    sim_.set_key("NO_DB", nullptr, KEY_TYPE_INT, 1);
  }
  // Applies `document` to a fresh "stats"; the names in its key list.
  std::string apply(const std::string& document, uint32_t size = 3) {
    stats_->apply_config(parse_json(document), size, 30);
    std::string names;
    for (const auto& entry : stats_->keys()) names += entry.first + " ";
    return names;
  }

  SimDir sim_;
  LogCapture log_;
  std::unique_ptr<Archive> stats_ = std::make_unique<Archive>("stats");
};

TEST_F(ArchiveConfigTest, KeepsKnownKeysInByteOrderWithTheirSettings) {
  EXPECT_EQ(apply(R"({"list": [{"name": "B"}, {"name": "AB"}, {"name": "A"},
      {"name": "WIDE"}, {"name": "ODD_TYPE"}, {"name": "NO_DB"},
      {"name": "UNKNOWN"}, null, {"name": "AB\u0000x"}]})"),
            "A AB B WIDE ");
  EXPECT_EQ(stats_->keys().at("WIDE").key_type, KEY_TYPE_STRING);
  EXPECT_EQ(stats_->next_archive_time(), 0u);

  log_.clear();
  apply(R"({"list": [{"name": "A", "period": 60, "save_to_db": true},
      {"name": "A", "period": 65836, "send_to_log": 65536, "log_period": 65538,
       "restore": 1, "save_to_db": 0}]})");
  const ArchiveKey& a = stats_->keys().at("A");
  EXPECT_EQ(a.period, 300);
  EXPECT_EQ(a.send_to_log, 0);
  EXPECT_EQ(a.log_period, 2);
  EXPECT_TRUE(a.restore);
  EXPECT_FALSE(a.save_to_db);
  EXPECT_EQ(a.namedb, "VEH");
  EXPECT_EQ(log_.count("Added key A to the list"), 2);
  EXPECT_EQ(stats_->keys().size(), 1u);  // The list before is gone.
  // The first entry saves, so backups are scheduled a period from now.
  EXPECT_GE(stats_->next_archive_time(), time(nullptr) + 1800 - 5);
}

TEST_F(ArchiveConfigTest, LimitsAndScheduleFollowTheDocumentAndTheCaller) {
  apply("{}");
  EXPECT_EQ(stats_->max_page_count(), 768u);
  EXPECT_EQ(stats_->archive_period(), 1800u);
  EXPECT_EQ(log_.texts(LOG_DEBUG),
            std::vector<std::string>{"Max size:3145728 Period:1800 (stats)"});
  apply("{}", 4096);
  EXPECT_EQ(stats_->max_page_count(), 0u);
  apply("{}", 4097);
  EXPECT_EQ(stats_->max_page_count(), 256u);
  apply("{}", 0x1234);
  EXPECT_EQ(stats_->max_page_count(), 0x234u * 256);
  // A refused key that saves still schedules backups.
  apply(R"({"list": [{"name": "UNKNOWN", "save_to_db": true}]})");
  EXPECT_NE(stats_->next_archive_time(), 0u);
}

TEST_F(ArchiveConfigTest, UnreadableEntriesAreSkippedAndCountForNothing) {
  log_.clear();
  EXPECT_EQ(apply(R"({"list": [{"name": "A", "period": "ten"},
      "B", {"name": "AB", "period": -5, "save_to_db": true},
      {"name": "A", "period": 1.5}, {"name": ["A"]},
      {"name": "A", "restore": "yes"}, {"name": "B", "save_to_db": 2}]})"),
            "B ");
  EXPECT_THAT(log_.texts(LOG_NOTICE),
              ElementsAre("Skipping config entry 0: bad period (stats)",
                          "Skipping config entry 1: bad entry (stats)",
                          "Skipping config entry 2: bad period (stats)",
                          "Skipping config entry 3: bad period (stats)",
                          "Skipping config entry 4: bad name (stats)",
                          "Skipping config entry 5: bad restore (stats)"));
  EXPECT_TRUE(stats_->keys().at("B").save_to_db);
  EXPECT_EQ(apply(R"({"list": {"name": "A"}})"), "");
  EXPECT_EQ(apply(R"([1, 2])"), "");
  EXPECT_EQ(log_.count("Config is not an object (stats)"), 1);
}

TEST(StatsConfigTest, TheBuiltInDocumentSavesAndRestoresTheTotals) {
  Json::Value doc;
  build_stats_config(&doc);
  ASSERT_EQ(doc["list"].size(), std::size(kStatsKeys));
  for (Json::ArrayIndex i = 0; i < doc["list"].size(); ++i) {
    const Json::Value& entry = doc["list"][i];
    EXPECT_EQ(entry["name"].asString(), kStatsKeys[i]);
    EXPECT_TRUE(entry["restore"].asBool() && entry["save_to_db"].asBool());
    EXPECT_EQ(entry["period"], 900);
    EXPECT_EQ(entry["log_period"], 900);
    EXPECT_EQ(entry["send_to_log"], 0);
  }
}

}  // namespace
}  // namespace kvo
