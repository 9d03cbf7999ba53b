#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "platform/sysdb.h"
#include "support/files.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

constexpr int32_t kUntouched = -777;

struct stat stat_of(const std::string& path) {
  struct stat info = {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

// The integer read, or kUntouched; `*result` is the call's result.
int32_t read_int(const char* db, const char* key, int* result = nullptr) {
  int32_t value = kUntouched;
  int rc = sysdb_namedb_read_int(nullptr, db, key, &value);
  if (result != nullptr) *result = rc;
  return value;
}

// Gives `path` the content `content` with the same modification time plus
// `add_nanoseconds`: by rename (a new inode) or overwritten in place.
void rewrite(const std::string& path, const std::string& content, bool in_place,
             long add_nanoseconds = 0) {
  struct stat before = stat_of(path);
  const std::string target = in_place ? path : path + ".new";
  std::fstream(target, std::ios::in | std::ios::out | std::ios::binary |
                           (in_place ? std::ios::openmode() : std::ios::trunc))
      << content;
  timespec times[2] = {before.st_atim, before.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + add_nanoseconds) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
  if (!in_place) {
    ASSERT_EQ(::rename(target.c_str(), path.c_str()), 0);
  }
}

TEST(SimSysdbTest, ReportsEachKeyAsStoredAndReadsOnlyItsNamedDatabase) {
  SimDir dir;
  EXPECT_EQ(sysdb_get_key_type("A"), 0);  // No sysdb.json yet.
  EXPECT_EQ(sysdb_get_namedb("A"), nullptr);
  dir.write("sysdb.json", R"({
    "A": {"namedb": "VEH", "type": 3, "value": 812.5},
    "S": {"namedb": "VEH", "type": 4, "value": "text"},
    "O": {"namedb": "VEH", "type": 65539, "value": {"x": [1, true]}},
    "NONE": {"namedb": "VEH", "type": 2},
    "NULL_DB": {"namedb": null, "type": 2, "value": 1},
    "NO_DB": {"type": 4, "value": "x"}})");
  EXPECT_EQ(sysdb_get_key_type("A"), 3);
  EXPECT_EQ(sysdb_get_key_type("O"), 65539);
  EXPECT_EQ(sysdb_get_key_type("NO_DB"), 4);
  EXPECT_EQ(sysdb_get_key_type("UNKNOWN"), 0);
  EXPECT_EQ(sysdb_get_key_type(nullptr), 0);
  EXPECT_STREQ(sysdb_get_namedb("A"), "VEH");
  for (const char* key : {"NULL_DB", "NO_DB", "UNKNOWN"}) {
    EXPECT_EQ(sysdb_get_namedb(key), nullptr) << key;
  }
  for (const char* key : {"A", "S", "O"}) {
    Json::Value value;
    ASSERT_EQ(sysdb_namedb_read_json(nullptr, "VEH", key, &value), 0) << key;
    Json::Value expected(Json::objectValue);
    expected[key] = dir.sysdb()[key]["value"];
    EXPECT_EQ(value, expected) << key;
  }
  const char* refused[][2] = {{"GPS", "A"},       {"VEH", "NONE"},
                              {"VEH", "MISSING"}, {"", "NULL_DB"},
                              {nullptr, "A"},     {"VEH", nullptr}};
  for (const auto& [db, key] : refused) {
    Json::Value value("untouched");
    EXPECT_NE(sysdb_namedb_read_json(nullptr, db, key, &value), 0);
    EXPECT_EQ(value, Json::Value("untouched"));
  }
}

TEST(SimSysdbTest, ReadsIntOnlyForNumbersThatFitInt32) {
  SimDir dir;
  const std::pair<const char*, int32_t> cases[] = {
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2.0", 2},
      {"-0.0", 0},
      {"2147483648", kUntouched},
      {"-2147483649", kUntouched},
      {"2.5", kUntouched},
      {"1e10", kUntouched},
      {"\"5\"", kUntouched},
      {"true", kUntouched},
      {"null", kUntouched},
      {"[1]", kUntouched},
      {"{\"a\": 1}", kUntouched}};
  for (const auto& [json, expected] : cases) {
    dir.write("sysdb.json",
              std::string(R"({"K": {"namedb": "D", "type": 2, "value": )") +
                  json + "}}");
    int result = 0;
    EXPECT_EQ(read_int("D", "K", &result), expected) << json;
    EXPECT_EQ(result == 0, expected != kUntouched) << json;
  }
}

TEST(SimSysdbTest, SeesEveryChangeAndRereadsOnlyChangedFiles) {
  SimDir dir;
  std::string path = dir.path() + "/sysdb.json";
  dir.set_key("K", "D", 2, 11);
  ASSERT_EQ(read_int("D", "K"), 11);
  // A rewrite by rename within one clock tick, of the same size: only the
  // inode tells.
  std::string text = dir.read("sysdb.json");
  text.replace(text.find("11"), 2, "22");
  rewrite(path, text, false);
  EXPECT_EQ(read_int("D", "K"), 22);

  // Same inode, size and time: the previous parse is reused, not reread.
  text.replace(text.find("22"), 2, "33");
  rewrite(path, text, true);
  EXPECT_EQ(read_int("D", "K"), 22);
  // Only the size differs.
  rewrite(path, text + " ", true);
  EXPECT_EQ(read_int("D", "K"), 33);
  // Only the modification time differs, by one nanosecond.
  text.replace(text.find("33"), 2, "44");
  rewrite(path, text + " ", true);
  EXPECT_EQ(read_int("D", "K"), 33);
  rewrite(path, text + " ", true, 1);
  EXPECT_EQ(read_int("D", "K"), 44);

  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_EQ(read_int("D", "K"), kUntouched);

  // Another folder is another database.
  dir.set_key("K", "D", 2, 66);
  SimDir other;
  other.set_key("K", "D", 2, 77);
  EXPECT_EQ(read_int("D", "K"), 77);
  ::setenv("KVO_SIM_DIR", dir.path().c_str(), 1);
  EXPECT_EQ(read_int("D", "K"), 66);
}

TEST(SimSysdbTest, WritesPersistAtomicallyAndKeepEverythingElse) {
  SimDir dir;
  dir.write("sysdb.json", R"({
    "I": {"namedb": "VEH", "type": 2, "value": 1, "unit": "km"},
    "D": {"namedb": "VEH", "type": 3},
    "S": {"namedb": "VEH", "type": 4, "value": "old"},
    "NULL_DB": {"namedb": null, "type": 2, "value": 1},
    "BAD_TYPE": {"namedb": "VEH", "type": "2", "value": 1},
    "BAD": [1, 2],
    "OTHER": {"namedb": "GPS", "type": 3, "value": [59.3, true, null, {}, [],
      "\" \\ \n \t \u0001 \u007f \u0000 Gr\u00fc\u00dfe \ud83d\ude00",
      18446744073709551615, -9223372036854775808]}})");
  ASSERT_EQ(read_int("VEH", "I"), 1);
  // Rewritten since the last read: a write must not go back to that read.
  dir.set_key("ADDED", "GPS", 3, 59.5);
  const std::string text = dir.read("sysdb.json");
  EXPECT_NE(sysdb_namedb_write_int(nullptr, "GPS", "I", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_int(nullptr, "VEH", "MISSING", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_int(nullptr, "VEH", "NULL_DB", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_int(nullptr, "VEH", "BAD_TYPE", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_int(nullptr, nullptr, "I", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_str(nullptr, "VEH", "S", nullptr, 0), 0);
  for (double value : {NAN, INFINITY, -INFINITY}) {
    EXPECT_NE(sysdb_namedb_write_dbl(nullptr, "VEH", "D", value, 0), 0);
  }
  EXPECT_EQ(dir.read("sysdb.json"), text);

  Json::Value before = dir.sysdb();
  ino_t inode = stat_of(dir.path() + "/sysdb.json").st_ino;
  ASSERT_EQ(sysdb_namedb_write_int(nullptr, "VEH", "I", -42, 0), 0);
  EXPECT_NE(stat_of(dir.path() + "/sysdb.json").st_ino, inode);  // Renamed.
  ASSERT_EQ(sysdb_namedb_write_str(nullptr, "VEH", "S", "a \"new\"\n", 0), 0);
  // Doubles read back bit for bit, and stay doubles.
  for (double value : {1.0 / 3, 812.000001, 5e-324, -0.0, DBL_MAX, DBL_MIN,
                       9007199254740993.0, 2.0}) {
    ASSERT_EQ(sysdb_namedb_write_dbl(nullptr, "VEH", "D", value, 0), 0);
    Json::Value read;
    ASSERT_EQ(sysdb_namedb_read_json(nullptr, "VEH", "D", &read), 0);
    double back = read["D"].asDouble();
    EXPECT_EQ(std::memcmp(&back, &value, sizeof(double)), 0) << value;
  }

  Json::Value after = dir.sysdb();
  EXPECT_EQ(after["I"]["value"].type(), Json::intValue);
  EXPECT_EQ(after["I"]["value"].asInt(), -42);
  EXPECT_EQ(after["D"]["value"].type(), Json::realValue);
  EXPECT_EQ(after["S"]["value"], "a \"new\"\n");
  for (const char* key : {"I", "D", "S"}) {
    after[key].removeMember("value");
    before[key].removeMember("value");
  }
  EXPECT_EQ(after, before);  // Every other key, member and value as it was.
  EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"sysdb.json"});
  EXPECT_EQ(read_int("VEH", "I"), -42);
}

TEST(SimSysdbTest, BadFilesMakeCallsFailWithoutHarm) {
  SimDir dir;
  const std::string kGood = R"({"K": {"namedb": "D", "type": 2, "value": 1}})";
  for (const std::string& text :
       {std::string("not json"), std::string("{"), std::string(""),
        std::string("[") + kGood + "]", std::string("\"text\""),
        kGood + " trailing", "// comment\n" + kGood,
        std::string(R"({"K": 1, "K": 2})"), std::string(100000, '['),
        std::string("{\"K\": ") + std::string(5000, '[')}) {
    dir.write("sysdb.json", text);
    SCOPED_TRACE(text.substr(0, 40));
    Json::Value value("untouched");
    EXPECT_EQ(sysdb_get_key_type("K"), 0);
    EXPECT_EQ(sysdb_get_namedb("K"), nullptr);
    EXPECT_EQ(read_int("D", "K"), kUntouched);
    EXPECT_NE(sysdb_namedb_read_json(nullptr, "D", "K", &value), 0);
    EXPECT_EQ(value, Json::Value("untouched"));
    EXPECT_NE(sysdb_namedb_write_int(nullptr, "D", "K", 5, 0), 0);
    EXPECT_EQ(dir.read("sysdb.json"), text);
  }

  // A malformed entry makes only its own key unknown.
  dir.write("sysdb.json", R"({
    "OK": {"namedb": "D", "type": 2, "value": 5},
    "NOT_OBJECT": [{"namedb": "D", "type": 2, "value": 5}],
    "TYPE_TEXT": {"namedb": "D", "type": "2", "value": 5},
    "TYPE_REAL": {"namedb": "D", "type": 2.5, "value": 5},
    "TYPE_HUGE": {"namedb": "D", "type": 4294967298, "value": 5},
    "NO_TYPE": {"namedb": "D", "value": 5},
    "DB_NUMBER": {"namedb": 7, "type": 2, "value": 5}})");
  for (const char* key : {"NOT_OBJECT", "TYPE_TEXT", "TYPE_REAL", "TYPE_HUGE",
                          "NO_TYPE", "DB_NUMBER"}) {
    EXPECT_EQ(sysdb_get_key_type(key), 0) << key;
    EXPECT_EQ(sysdb_get_namedb(key), nullptr) << key;
    EXPECT_EQ(read_int("D", key), kUntouched) << key;
    EXPECT_NE(sysdb_namedb_write_int(nullptr, "D", key, 6, 0), 0) << key;
  }
  Json::Value before = dir.sysdb();
  ASSERT_EQ(sysdb_namedb_write_int(nullptr, "D", "OK", 6, 0), 0);
  before["OK"]["value"] = 6;
  EXPECT_EQ(dir.sysdb(), before);
}

}  // namespace
}  // namespace kvo
