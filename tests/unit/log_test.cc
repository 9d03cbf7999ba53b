#include "base/log.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/log_capture.h"

namespace kvo {
namespace {

// The line log_printf writes must be the one printf writes.
template <typename... Args>
void expect_printf_text(const char* format, Args... args) {
  LogCapture log;
  log_printf(LOG_INFO, format, args...);
  char expected[2048];
  std::snprintf(expected, sizeof(expected), format, args...);
  EXPECT_EQ(log.texts(), std::vector<std::string>{expected}) << format;
}

TEST(LogTest, LinesAreWhatPrintfWrites) {
  expect_printf_text("key:%s %u-%d %d%% %llu-%lld", "K", UINT_MAX, INT_MIN, -7,
                     ULLONG_MAX, LLONG_MIN);
  expect_printf_text("%s=%lf %f %f %f", "K", -0.0, 1e300, NAN, -INFINITY);
  expect_printf_text("%s (%5d:%x) %ld %s", "falls back", 42, 255, 7L,
                     std::string(600, 'x').c_str());
  std::mt19937_64 random(12);
  std::uniform_real_distribution<double> exponent(-12, 18);
  for (int i = 0; i < 2000; ++i) {
    const double value = (i % 2 ? -1 : 1) * std::pow(10.0, exponent(random));
    expect_printf_text("Saving K = %lf", value);
  }
}

TEST(LogTest, LevelDropsLessUrgentLinesOnTheSinkToo) {
  int level = -1;
  EXPECT_FALSE(log_level_named("8", &level));
  LogCapture log;
  ASSERT_TRUE(log_level_named("info", &level) && level == LOG_INFO);
  log_set_level(level);
  log_printf(LOG_DEBUG, "dropped");
  log_printf(LOG_INFO, "kept");
  log_set_level(LOG_DEBUG);
  log_printf(LOG_DEBUG, "kept again");
  EXPECT_EQ(log.texts(), (std::vector<std::string>{"kept", "kept again"}));
}

}  // namespace
}  // namespace kvo
