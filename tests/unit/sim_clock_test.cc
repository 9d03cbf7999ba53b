#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/utils.h"
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

TEST(SimClockTest, AddsTheOffsetToTheRealTime) {
  SimDir dir;
  uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  uint32_t now = fwtime_s(0);
  EXPECT_LE(now - before, 1u);
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
}

TEST(SimClockTest, AnythingButAnIntegerIsNoOffset) {
  SimDir dir;
  for (const char* content : {"", "abc", "12abc", "1 2", "1.5", "+-3", "0x10",
                              "99999999999999999999", "--5"}) {
    expect_offset(dir, "7", 7);
    expect_offset(dir, content, 0);
  }
}

}  // namespace
}  // namespace kvo
