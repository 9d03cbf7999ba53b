#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/utils.h"
#include "support/files.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

// fwtime_s with the offset in `content`, minus the real time, modulo 2^32;
// the real time is read on both sides to allow for a second passing.
void expect_offset(const SimDir& dir, const std::string& content,
                   uint32_t expected) {
  dir.write("clock_offset", content);
  uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  uint32_t offset = fwtime_s(0) - before;
  uint32_t after = static_cast<uint32_t>(std::time(nullptr));
  EXPECT_TRUE(offset == expected || offset == expected + (after - before))
      << "content '" << content << "' gave " << offset;
}

TEST(SimClockTest, AddsAnIntegerOffsetToTheRealTime) {
  SimDir dir;
  uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  EXPECT_LE(fwtime_s(0) - before, 1u);
  expect_offset(dir, "3600", 3600);
  expect_offset(dir, "  +90\n", 90);
  expect_offset(dir, "-86400\n", static_cast<uint32_t>(-86400));
  // Past either end of 32 bits the clock wraps, as a 32-bit clock does.
  expect_offset(dir, "4294967296", 0);
  expect_offset(dir, "-9223372036854775808", 0);
  expect_offset(dir, "9223372036854775807", 0xffffffffu);
  // fwtime_s has no failure value: the fail file cannot touch it.
  dir.write("fail", "fwtime_s\n");
  expect_offset(dir, "60", 60);
  // Anything but an integer is no offset.
  for (const char* content : {"", "abc", "12abc", "1 2", "1.5", "+-3", "0x10",
                              "99999999999999999999", "--5"}) {
    expect_offset(dir, "7", 7);
    expect_offset(dir, content, 0);
  }
}

TEST(SimMkdirTest, CreatesMissingParentsAndFailsWhereNoDirectoryCanBe) {
  SimDir dir;
  const std::string root = dir.path();
  for (int twice = 0; twice < 2; ++twice) {
    EXPECT_EQ(kvo_mkdir_create_parents((root + "/a//b/c/").c_str()), 0);
  }
  EXPECT_TRUE(std::filesystem::is_directory(root + "/a/b/c"));
  write_file(root + "/file", "x");
  for (const std::string& path :
       {root + "/file", root + "/file/sub/", std::string()}) {
    EXPECT_NE(kvo_mkdir_create_parents(path.c_str()), 0) << path;
  }
  EXPECT_NE(kvo_mkdir_create_parents(nullptr), 0);
  EXPECT_EQ(read_file(root + "/file"), "x");
}

TEST(SimMd5Test, AcceptsWhatMd5sumWritesAndNothingElse) {
  SimDir dir;
  const std::string data = dir.path() + "/stats_bak.db";
  const std::string other = dir.path() + "/other.db";
  write_file(data, std::string(100000, 'x') + "end");
  write_file(other, "other");
  // Checks `content` written as a checksum file.
  auto check = [&](const std::string& content) {
    write_file(dir.path() + "/a.md5", content);
    return check_md5((dir.path() + "/a.md5").c_str(), false);
  };
  const std::string line = shell("md5sum " + data);
  const std::string digest = line.substr(0, 32);
  std::string upper = line;
  for (size_t i = 0; i < 32; ++i) {
    upper[i] = static_cast<char>(std::toupper(upper[i]));
  }
  const std::string both = shell("md5sum " + data + " " + other);

  for (const std::string& good : {line, shell("md5sum -b " + data), both, upper,
                                  line.substr(0, line.size() - 1)}) {
    EXPECT_EQ(check(good), 0) << good;
  }
  for (const std::string& bad :
       {std::string(), std::string("\n"), digest + " " + data + "\n",
        digest + "\t" + data + "\n", digest + "x " + data + "\n",
        digest.substr(1) + "  " + data + "\n", digest + "0  " + data + "\n",
        "g" + digest.substr(1) + "  " + data + "\n", digest + "  \n",
        line + "\n", "\\" + line, "MD5 (" + data + ") = " + digest + "\n",
        " " + line}) {
    EXPECT_NE(check(bad), 0) << bad;
  }

  write_file(other, "changed");
  EXPECT_NE(check(both), 0);
  write_file(data, std::string(100000, 'x') + "enD");
  EXPECT_NE(check(line), 0);
  ASSERT_EQ(::unlink(data.c_str()), 0);
  EXPECT_NE(check(line), 0);
  EXPECT_NE(check_md5((dir.path() + "/missing.md5").c_str(), false), 0);
  EXPECT_NE(check_md5(nullptr, false), 0);
}

}  // namespace
}  // namespace kvo
