#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <syslog.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "support/archive_peer.h"
#include "support/log_capture.h"
#include "support/sim_dir.h"

namespace kvo {

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// Each line as "<priority> <text>", optionally without the debug lines.
std::vector<std::string> tagged(const LogCapture& log, bool with_debug) {
  std::vector<std::string> out;
  for (const LogLine& line : log.lines()) {
    if (with_debug || line.priority != LOG_DEBUG) {
      out.push_back(std::to_string(line.priority) + " " + line.text);
    }
  }
  return out;
}

class LogForwardingTest : public ::testing::Test {
 protected:
  // A key of named database VEH, logged in `mode` every `log_period` s.
  void add_logged_key(const std::string& name, int type,
                      const Json::Value& value, uint16_t mode,
                      uint16_t log_period = 60) {
    sim_.set_key(name, "VEH", type, value);
    archive_.add_key(name, false, 0, mode, log_period, false);
  }
  uint32_t log_time(const std::string& name) {
    return ArchivePeer::key(archive_, name).next_log_time;
  }

  SimDir sim_;
  Archive archive_{"stats"};
  LogCapture log_;
};

TEST_F(LogForwardingTest, ModeSelectsWhetherAndAtWhichPriorityAKeyIsLogged) {
  add_logged_key("A_OFF", KEY_TYPE_DOUBLE, 1.5, 0);
  add_logged_key("B_ONE", KEY_TYPE_DOUBLE, 1.5, 1);
  add_logged_key("C_TWO", KEY_TYPE_DOUBLE, 1.5, 2);
  add_logged_key("D_THREE", KEY_TYPE_DOUBLE, 1.5, 3);
  add_logged_key("E_MAX", KEY_TYPE_DOUBLE, 1.5, 65535);
  log_.clear();

  archive_.send_to_log(1000);

  EXPECT_THAT(
      tagged(log_, true),
      ElementsAre(
          "7 Sending sysdb to logfile",
          "7 Key:A_OFF log mode:0 now:1000 log time:0",
          "7 Key:B_ONE log mode:1 now:1000 log time:0", "5 B_ONE=1.500000",
          "7 Key:C_TWO log mode:2 now:1000 log time:0", "1 C_TWO=1.500000",
          "7 Key:D_THREE log mode:3 now:1000 log time:0", "5 D_THREE=1.500000",
          "7 Key:E_MAX log mode:65535 now:1000 log time:0",
          "5 E_MAX=1.500000"));
  EXPECT_EQ(log_time("A_OFF"), 0u);
  EXPECT_EQ(log_time("B_ONE"), 1060u);
  EXPECT_EQ(log_time("C_TWO"), 1060u);
  EXPECT_EQ(log_time("E_MAX"), 1060u);

  Archive empty("archive");
  log_.clear();
  empty.send_to_log(1000);
  EXPECT_THAT(tagged(log_, true), ElementsAre("7 Sending sysdb to logfile"));
}

TEST_F(LogForwardingTest, ValueIsRenderedByItsKindAndTheKeyType) {
  // As JSON text, to spell a value (\u0000) that a written JSON value cannot.
  sim_.write("sysdb.json", R"({
         "ARRAY": {"namedb": "VEH", "type": 3, "value": [1]},
         "BOOL_DOUBLE": {"namedb": "VEH", "type": 3, "value": true},
         "BOOL_FALSE": {"namedb": "VEH", "type": 2, "value": false},
         "BOOL_TRUE": {"namedb": "VEH", "type": 2, "value": true},
         "DOUBLE_SEVEN": {"namedb": "VEH", "type": 3, "value": 7},
         "INT_ABOVE": {"namedb": "VEH", "type": 2, "value": 3000000000},
         "INT_BELOW": {"namedb": "VEH", "type": 2, "value": -2147483649},
         "INT_EDGE": {"namedb": "VEH", "type": 2, "value": 2147483647.9},
         "INT_FRACTION": {"namedb": "VEH", "type": 2, "value": -7.9},
         "INT_LOWEST": {"namedb": "VEH", "type": 2, "value": -2147483648},
         "INT_SEVEN": {"namedb": "VEH", "type": 2, "value": 7},
         "NULL": {"namedb": "VEH", "type": 3, "value": null},
         "OBJECT": {"namedb": "VEH", "type": 3, "value": {"a": 1}},
         "TEXT_INT": {"namedb": "VEH", "type": 2, "value": "it's 42"},
         "TEXT_NUL": {"namedb": "VEH", "type": 4, "value": "ab\u0000cd"}})");
  for (const std::string& name : sim_.sysdb().getMemberNames()) {
    archive_.add_key(name, false, 0, 1, 30, false);
  }
  ASSERT_EQ(archive_.keys().size(), 15u);
  log_.clear();

  archive_.send_to_log(500);

  // Numbers that no 32-bit integer can stand for give no line for an
  // integer key rather than a made-up value.
  EXPECT_THAT(
      tagged(log_, false),
      ElementsAre("5 BOOL_DOUBLE=1", "5 BOOL_FALSE=0", "5 BOOL_TRUE=1",
                  "5 DOUBLE_SEVEN=7.000000", "5 INT_EDGE=2147483647",
                  "5 INT_FRACTION=-7", "5 INT_LOWEST=-2147483648",
                  "5 INT_SEVEN=7", "5 TEXT_INT=it's 42", "5 TEXT_NUL=ab"));
  // Every successful read restarts the period, a line or not.
  for (const auto& [name, key] : archive_.keys()) {
    EXPECT_EQ(key.next_log_time, 530u) << name;
  }
}

TEST_F(LogForwardingTest,
       KeyIsLoggedWhenItsClockHasComeAndTriedAgainAfterAFailedRead) {
  add_logged_key("DUE", KEY_TYPE_INT, 1, 1, 60);
  add_logged_key("EVERY", KEY_TYPE_INT, 2, 1, 0);
  add_logged_key("LATER", KEY_TYPE_INT, 3, 1, 60);
  add_logged_key("UNREADABLE", KEY_TYPE_INT, 4, 1, 60);
  ArchivePeer::key(archive_, "DUE").next_log_time = 1000;
  ArchivePeer::key(archive_, "LATER").next_log_time = 1001;
  // Moved to another named database: reads through VEH now fail.
  sim_.set_key("UNREADABLE", "SYS", KEY_TYPE_INT, 4);
  log_.clear();

  archive_.send_to_log(1000);
  EXPECT_THAT(tagged(log_, false), ElementsAre("5 DUE=1", "5 EVERY=2"));
  EXPECT_EQ(log_time("DUE"), 1060u);
  EXPECT_EQ(log_time("EVERY"), 1000u);
  EXPECT_EQ(log_time("LATER"), 1001u);
  EXPECT_EQ(log_time("UNREADABLE"), 0u);

  sim_.set_key("UNREADABLE", "VEH", KEY_TYPE_INT, 4);
  log_.clear();
  archive_.send_to_log(1000);
  EXPECT_THAT(tagged(log_, false), ElementsAre("5 EVERY=2", "5 UNREADABLE=4"));

  // The next time is an unsigned 32-bit sum.
  log_.clear();
  archive_.send_to_log(0xFFFFFFF0u);
  EXPECT_EQ(log_time("DUE"), 0xFFFFFFF0u + 60u);
}

}  // namespace
}  // namespace kvo
