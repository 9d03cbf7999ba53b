// What keeps the simulated platform from making the service's tests lie:
// every change another process makes is seen at the next call, writes are
// atomic and keep others' changes, and the fail list fails what it lists.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <string>

#include "platform/sysdb.h"
#include "platform/utils.h"
#include "support/files.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

int32_t read_int(const char* key) {
  int32_t value = -777;
  sysdb_namedb_read_int(nullptr, "D", key, &value);
  return value;
}

// Rewrites `path` keeping its modification time, plus `nanoseconds`: by
// rename (a new inode) or in place.
void rewrite(const std::string& path, const std::string& content, bool in_place,
             long nanoseconds = 0) {
  struct stat before = {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  const std::string target = in_place ? path : path + ".new";
  std::ofstream(target, std::ios::in | std::ios::out | std::ios::binary |
                            (in_place ? std::ios::openmode() : std::ios::trunc))
      << content;
  timespec times[2] = {before.st_atim, before.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + nanoseconds) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
  if (!in_place) {
    ASSERT_EQ(::rename(target.c_str(), path.c_str()), 0);
  }
}

TEST(SimTest, SeesEveryChangeAnotherProcessMakes) {
  SimDir dir;
  const std::string path = dir.path() + "/sysdb.json";
  dir.set_key("K", "D", 2, 11);
  ASSERT_EQ(read_int("K"), 11);
  std::string text = dir.read("sysdb.json");
  text.replace(text.find("11"), 2, "22");
  rewrite(path, text, false);  // Same size and time: only the inode tells.
  EXPECT_EQ(read_int("K"), 22);
  text.replace(text.find("22"), 2, "33");
  rewrite(path, text + " ", true);  // Only the size tells.
  EXPECT_EQ(read_int("K"), 33);
  text.replace(text.find("33"), 2, "44");
  rewrite(path, text + " ", true, 1);  // Only the nanoseconds tell.
  EXPECT_EQ(read_int("K"), 44);
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_EQ(read_int("K"), -777);
}

TEST(SimTest, WritesAreAtomicAndKeepWhatOthersChanged) {
  SimDir dir;
  dir.set_key("K", "D", 2, 1);
  ASSERT_EQ(read_int("K"), 1);
  dir.set_key("ADDED", "D", 3, 59.5);  // Since the service's last read.
  struct stat before = {};
  ASSERT_EQ(::stat((dir.path() + "/sysdb.json").c_str(), &before), 0);
  ASSERT_EQ(sysdb_namedb_write_int(nullptr, "D", "K", -42, 0), 0);
  struct stat after = {};
  ASSERT_EQ(::stat((dir.path() + "/sysdb.json").c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // Replaced by rename.
  EXPECT_EQ(dir.sysdb()["ADDED"]["value"], 59.5);
  EXPECT_EQ(dir.sysdb()["K"]["value"], -42);
  EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"sysdb.json"});
}

TEST(SimTest, ListedFunctionsFailWhileListedAndTheClockRunsAsSet) {
  SimDir dir;
  dir.write("clock_offset", "-100000\n");
  EXPECT_NEAR(fwtime_s(0), time(nullptr) - 100000, 5);
  dir.set_key("K", "D", 2, 2);
  int32_t value = 0;
  dir.write("fail", "\n  sysdb_get_key_type\n\tsysdb_namedb_read_int \r\n");
  EXPECT_EQ(sysdb_get_key_type("K"), 0);
  EXPECT_NE(sysdb_namedb_read_int(nullptr, "D", "K", &value), 0);
  EXPECT_STREQ(sysdb_get_namedb("K"), "D");
  dir.write("fail", "");
  EXPECT_EQ(sysdb_get_key_type("K"), 2);
  EXPECT_EQ(read_int("K"), 2);
}

}  // namespace
}  // namespace kvo
