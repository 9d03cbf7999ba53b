#include "archive/archive_directory.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kvo {
namespace {

constexpr uint32_t kLargest = 4294967295u;

// The number read from `name`, or -1 when none.
int64_t number_of(const char* name) {
  uint32_t number = 12345;
  if (!read_archive_number(name, &number)) return -1;
  return number;
}

TEST(ArchiveNumberTest, ReadsLikeScanfUnsignedWithoutAliasingLargeNumbers) {
  EXPECT_EQ(number_of("0.tar"), 0);
  EXPECT_EQ(number_of("17.tar"), 17);
  EXPECT_EQ(number_of(" \t7.tar"), 7);
  EXPECT_EQ(number_of("+7.tar"), 7);
  EXPECT_EQ(number_of("0x5.tar"), 0);
  EXPECT_EQ(number_of("-1.tar"), kLargest);
  EXPECT_EQ(number_of("-0.tar"), 0);
  EXPECT_EQ(number_of("4294967295.tar"), kLargest);
  // Too large for 32 bits: saturated, never wrapped onto a real archive
  // such as 0.tar.
  EXPECT_EQ(number_of("4294967296.tar"), kLargest);
  EXPECT_EQ(number_of("-4294967296.tar"), kLargest);
  EXPECT_EQ(number_of("123456789012345678901234567890.tar"), kLargest);

  EXPECT_EQ(number_of(".tar"), -1);
  EXPECT_EQ(number_of("+.tar"), -1);
  EXPECT_EQ(number_of("- 5.tar"), -1);
}

}  // namespace
}  // namespace kvo
