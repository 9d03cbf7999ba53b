#include <gtest/gtest.h>
#include <syslog.h>

#include <cstdio>
#include <limits>
#include <string>

#include "archive/key_value.h"
#include "archive/archive.h"
#include "support/log_capture.h"

namespace kvo {
namespace {

TEST(SampleValueTest, TuplesCarryEachValueAsOneLiteral) {
  Archive archive("stats");
  LogCapture log;

  EXPECT_EQ(archive.save_double("O'KEY", -1.0000009), "('O''KEY',-1.000001)");
  // The largest double still fits the number buffer whole.
  EXPECT_EQ(archive.save_double("K", -1.7976931348623157e308).size(),
            std::string("('K',)").size() + 317);
  EXPECT_EQ(archive.save_string("O'KEY", "x'); DROP TABLE data; --"),
            "('O''KEY','x''); DROP TABLE data; --')");
  // The statement reaches SQLite as a C string: a NUL would end it.
  EXPECT_EQ(archive.save_string("K", std::string("ab\0c'd", 6)), "('K','ab')");
  EXPECT_EQ(log.texts(LOG_DEBUG)[2], "Saving O'KEY = x'); DROP TABLE data; --");
}

// What a value is stored as, for each kind and key type; "none" when it
// gives no number (stored as text, or not stored at all).
std::string stored(const Json::Value& value, uint16_t key_type) {
  double number = -1;
  if (!stored_number(value, key_type, &number)) return "none";
  char text[64];
  std::snprintf(text, sizeof(text), "%f", number);
  return text;
}

TEST(SampleValueTest, NumberIsStoredOnlyWhenItHasATruthfulLiteral) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();

  EXPECT_EQ(stored(true, KEY_TYPE_STRING), "1.000000");
  EXPECT_EQ(stored(false, KEY_TYPE_INT), "0.000000");
  EXPECT_EQ(stored(7, KEY_TYPE_INT), "7.000000");
  EXPECT_EQ(stored(-7.9, KEY_TYPE_INT), "-7.000000");
  EXPECT_EQ(stored(7.9, KEY_TYPE_DOUBLE), "7.900000");
  EXPECT_EQ(stored(2147483647.9, KEY_TYPE_INT), "2147483647.000000");
  EXPECT_EQ(stored(-2147483648.9, KEY_TYPE_INT), "-2147483648.000000");
  EXPECT_EQ(stored(Json::Value(Json::UInt64(3000000000u)), KEY_TYPE_DOUBLE),
            "3000000000.000000");

  // A device's library can hand over what JSON text cannot spell; none of it
  // may become a stored number that a restore would take for a real total.
  EXPECT_EQ(stored(2147483648.0, KEY_TYPE_INT), "none");
  EXPECT_EQ(stored(-2147483649.0, KEY_TYPE_INT), "none");
  EXPECT_EQ(stored(Json::Value(Json::UInt64(3000000000u)), KEY_TYPE_INT),
            "none");
  EXPECT_EQ(stored(inf, KEY_TYPE_DOUBLE), "none");
  EXPECT_EQ(stored(-inf, KEY_TYPE_DOUBLE), "none");
  EXPECT_EQ(stored(nan, KEY_TYPE_DOUBLE), "none");
  EXPECT_EQ(stored(inf, KEY_TYPE_INT), "none");
  EXPECT_EQ(stored(nan, KEY_TYPE_INT), "none");
}

TEST(SampleValueTest, OnlyTheMemberOfAnObjectIsTheKeysValue) {
  Json::Value read(Json::objectValue);
  read["K"] = 5;
  ASSERT_NE(key_member(read, "K"), nullptr);
  EXPECT_EQ(key_member(read, "K")->asInt(), 5);
  for (const std::string& name :
       {std::string("OTHER"), std::string("K\0X", 3)}) {
    EXPECT_EQ(key_member(read, name), nullptr);
  }
  for (const Json::Value& other :
       {Json::Value(5), Json::Value("K"), Json::Value(Json::arrayValue),
        Json::Value()}) {
    EXPECT_EQ(key_member(other, "K"), nullptr);
  }
  EXPECT_FALSE(read.isMember("OTHER"));  // looked up without inserting
}

}  // namespace
}  // namespace kvo
