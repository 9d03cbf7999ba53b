#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <set>
#include <string>

#include "platform/sysdb.h"
#include "support/sim_dir.h"
#include "unit/sim_fixtures.h"

namespace kvo {
namespace {

constexpr int32_t kUntouched = -777;

struct stat stat_of(const std::string& path) {
  struct stat info = {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

int32_t read_int(const char* db, const char* key, int* result) {
  int32_t value = kUntouched;
  *result = sysdb_namedb_read_int(nullptr, db, key, &value);
  return value;
}

// Overwrites the file's bytes without a rename and gives it back its old
// modification time, so that nothing but its content changed.
void rewrite_in_place(const std::string& path, const std::string& content,
                      long add_nanoseconds) {
  struct stat before = stat_of(path);
  {
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out << content;
  }
  timespec times[2] = {before.st_atim, before.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + add_nanoseconds) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Replaces the file by rename with a new one of the same modification time.
void replace_keeping_time(const std::string& path, const std::string& content) {
  struct stat before = stat_of(path);
  std::string temporary = path + ".new";
  write_file(temporary, content);
  timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, temporary.c_str(), times, 0), 0);
  ASSERT_EQ(::rename(temporary.c_str(), path.c_str()), 0);
  struct stat after = stat_of(path);
  ASSERT_EQ(after.st_size, before.st_size);
  ASSERT_NE(after.st_ino, before.st_ino);
}

TEST(SimSysdbTest, ReportsTypeAndNamedbAsStored) {
  SimDir dir;
  EXPECT_EQ(sysdb_get_key_type("VEH_ODOMETER"), 0);
  EXPECT_EQ(sysdb_get_namedb("VEH_ODOMETER"), nullptr);
  dir.write("sysdb.json", R"({
    "VEH_ODOMETER": {"namedb": "VEH", "type": 3, "value": 812.5},
    "ODD": {"namedb": null, "type": 65539, "value": 1},
    "NO_DB": {"type": 4, "value": "x"}})");
  EXPECT_EQ(sysdb_get_key_type("VEH_ODOMETER"), 3);
  EXPECT_EQ(sysdb_get_key_type("ODD"), 65539);
  EXPECT_EQ(sysdb_get_key_type("NO_DB"), 4);
  EXPECT_EQ(sysdb_get_key_type("UNKNOWN"), 0);
  EXPECT_EQ(sysdb_get_key_type(nullptr), 0);
  EXPECT_STREQ(sysdb_get_namedb("VEH_ODOMETER"), "VEH");
  EXPECT_EQ(sysdb_get_namedb("ODD"), nullptr);
  EXPECT_EQ(sysdb_get_namedb("NO_DB"), nullptr);
  EXPECT_EQ(sysdb_get_namedb("UNKNOWN"), nullptr);
}

TEST(SimSysdbTest, ReadsOnlyKeysOfTheNamedDatabase) {
  SimDir dir;
  dir.write("sysdb.json", R"({
    "A": {"namedb": "VEH", "type": 3, "value": 812.5},
    "S": {"namedb": "VEH", "type": 4, "value": "text"},
    "O": {"namedb": "VEH", "type": 9, "value": {"x": [1, true]}},
    "NONE": {"namedb": "VEH", "type": 2},
    "NULL_DB": {"namedb": null, "type": 2, "value": 1}})");
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
  const std::pair<const char*, const char*> accepted[] = {
      {"2147483647", "2147483647"},
      {"-2147483648", "-2147483648"},
      {"2.0", "2"},
      {"-0.0", "0"},
      {"0", "0"}};
  for (const auto& [json, expected] : accepted) {
    dir.write("sysdb.json", std::string(R"({"K": {"namedb": "D", "type": 2,
                                          "value": )") +
                                json + "}}");
    int result = -1;
    EXPECT_EQ(std::to_string(read_int("D", "K", &result)), expected) << json;
    EXPECT_EQ(result, 0) << json;
  }
  for (const char* json : {"2147483648", "-2147483649", "2.5", "1e10", "\"5\"",
                           "true", "null", "[1]", "{\"a\": 1}"}) {
    dir.write("sysdb.json", std::string(R"({"K": {"namedb": "D", "type": 2,
                                          "value": )") +
                                json + "}}");
    int result = 0;
    EXPECT_EQ(read_int("D", "K", &result), kUntouched) << json;
    EXPECT_NE(result, 0) << json;
  }
}

TEST(SimSysdbTest, SeesEveryChangeAndRereadsOnlyChangedFiles) {
  SimDir dir;
  std::string path = dir.path() + "/sysdb.json";
  int result = 0;
  dir.set_key("K", "D", 2, 11);
  ASSERT_EQ(read_int("D", "K", &result), 11);
  // A rewrite by rename within one clock tick, of the same size: only the
  // inode tells.
  std::string text = dir.read("sysdb.json");
  std::string changed = text;
  changed.replace(changed.find("11"), 2, "22");
  replace_keeping_time(path, changed);
  EXPECT_EQ(read_int("D", "K", &result), 22);

  // Same inode, size and time: the previous parse is reused, not reread.
  changed.replace(changed.find("22"), 2, "33");
  rewrite_in_place(path, changed, 0);
  EXPECT_EQ(read_int("D", "K", &result), 22);
  // Only the size differs.
  rewrite_in_place(path, changed + " ", 0);
  EXPECT_EQ(read_int("D", "K", &result), 33);
  // Only the modification time differs, by one nanosecond.
  changed.replace(changed.find("33"), 2, "44");
  rewrite_in_place(path, changed + " ", 0);
  EXPECT_EQ(read_int("D", "K", &result), 33);
  rewrite_in_place(path, changed + " ", 1);
  EXPECT_EQ(read_int("D", "K", &result), 44);

  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_EQ(read_int("D", "K", &result), kUntouched);

  // Another folder is another database.
  dir.set_key("K", "D", 2, 66);
  SimDir other;
  other.set_key("K", "D", 2, 77);
  EXPECT_EQ(read_int("D", "K", &result), 77);
  ::setenv("KVO_SIM_DIR", dir.path().c_str(), 1);
  EXPECT_EQ(read_int("D", "K", &result), 66);
}

TEST(SimSysdbTest, WritesPersistAtomicallyAndKeepEverythingElse) {
  SimDir dir;
  dir.write("sysdb.json", R"({
    "I": {"namedb": "VEH", "type": 2, "value": 1, "unit": "km"},
    "D": {"namedb": "VEH", "type": 3},
    "S": {"namedb": "VEH", "type": 4, "value": "old"},
    "BAD": [1, 2],
    "OTHER": {"namedb": "GPS", "type": 3, "value": 59.3}})");
  Json::Value before = dir.sysdb();
  ino_t inode = stat_of(dir.path() + "/sysdb.json").st_ino;
  ASSERT_EQ(sysdb_namedb_write_int(nullptr, "VEH", "I", -42, 0), 0);
  ASSERT_EQ(sysdb_namedb_write_dbl(nullptr, "VEH", "D", 2.0, 0), 0);
  ASSERT_EQ(sysdb_namedb_write_str(nullptr, "VEH", "S", "a \"new\"\n", 0), 0);

  Json::Value after = dir.sysdb();
  EXPECT_EQ(after["I"]["value"].type(), Json::intValue);
  EXPECT_EQ(after["I"]["value"].asInt(), -42);
  EXPECT_EQ(after["I"]["unit"], "km");
  EXPECT_EQ(after["D"]["value"].type(), Json::realValue);
  EXPECT_EQ(after["D"]["value"].asDouble(), 2.0);
  EXPECT_EQ(after["S"]["value"], "a \"new\"\n");
  for (const char* key : {"BAD", "OTHER"}) EXPECT_EQ(after[key], before[key]);
  for (const char* key : {"I", "D", "S"}) {
    EXPECT_EQ(after[key]["type"], before[key]["type"]);
    EXPECT_EQ(after[key]["namedb"], "VEH");
  }
  EXPECT_NE(stat_of(dir.path() + "/sysdb.json").st_ino, inode);
  EXPECT_EQ(entries_of(dir.path()), std::set<std::string>{"sysdb.json"});
  int result = 0;
  EXPECT_EQ(read_int("VEH", "I", &result), -42);
}

TEST(SimSysdbTest, WrittenDoublesReadBackBitForBit) {
  SimDir dir;
  dir.set_key("D", "VEH", 3, 0.0);
  for (double value : {0.1, 1.0 / 3, 812.000001, -123456.789, 1e300, 5e-324,
                       -0.0, DBL_MAX, DBL_MIN, 2.0, 9007199254740993.0}) {
    ASSERT_EQ(sysdb_namedb_write_dbl(nullptr, "VEH", "D", value, 0), 0);
    Json::Value read;
    ASSERT_EQ(sysdb_namedb_read_json(nullptr, "VEH", "D", &read), 0);
    double back = read["D"].asDouble();
    EXPECT_EQ(std::memcmp(&back, &value, sizeof(double)), 0) << value;
  }
}

TEST(SimSysdbTest, RefusedWritesChangeNothing) {
  SimDir dir;
  dir.write("sysdb.json", R"({
    "K": {"namedb": "VEH", "type": 2, "value": 1},
    "NULL_DB": {"namedb": null, "type": 2, "value": 1},
    "BAD_TYPE": {"namedb": "VEH", "type": "2", "value": 1}})");
  std::string text = dir.read("sysdb.json");
  EXPECT_NE(sysdb_namedb_write_int(nullptr, "GPS", "K", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_int(nullptr, "VEH", "MISSING", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_int(nullptr, "VEH", "NULL_DB", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_int(nullptr, "VEH", "BAD_TYPE", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_int(nullptr, nullptr, "K", 5, 0), 0);
  EXPECT_NE(sysdb_namedb_write_str(nullptr, "VEH", "K", nullptr, 0), 0);
  for (double value : {NAN, INFINITY, -INFINITY}) {
    EXPECT_NE(sysdb_namedb_write_dbl(nullptr, "VEH", "K", value, 0), 0);
  }
  EXPECT_EQ(dir.read("sysdb.json"), text);
}

TEST(SimSysdbTest, WriteKeepsARewriteMadeSinceTheLastRead) {
  SimDir dir;
  dir.set_key("K", "VEH", 2, 1);
  int result = 0;
  ASSERT_EQ(read_int("VEH", "K", &result), 1);
  dir.set_key("ADDED", "GPS", 3, 59.5);
  ASSERT_EQ(sysdb_namedb_write_int(nullptr, "VEH", "K", 2, 0), 0);
  Json::Value root = dir.sysdb();
  EXPECT_EQ(root["K"]["value"], 2);
  EXPECT_EQ(root["ADDED"]["value"], 59.5);
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
    int result = 0;
    Json::Value value("untouched");
    EXPECT_EQ(sysdb_get_key_type("K"), 0);
    EXPECT_EQ(sysdb_get_namedb("K"), nullptr);
    EXPECT_EQ(read_int("D", "K", &result), kUntouched);
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
    int result = 0;
    EXPECT_EQ(sysdb_get_key_type(key), 0) << key;
    EXPECT_EQ(sysdb_get_namedb(key), nullptr) << key;
    EXPECT_EQ(read_int("D", key, &result), kUntouched) << key;
    EXPECT_NE(sysdb_namedb_write_int(nullptr, "D", key, 6, 0), 0) << key;
  }
  Json::Value before = dir.sysdb();
  ASSERT_EQ(sysdb_namedb_write_int(nullptr, "D", "OK", 6, 0), 0);
  Json::Value after = dir.sysdb();
  before["OK"]["value"] = 6;
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace kvo
