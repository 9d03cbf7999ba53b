#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "json_text.h"

namespace kvo {
namespace {

TEST(SimJsonTextTest, DoublesAreShortestExactAndStayDoubles) {
  EXPECT_EQ(sim::json_text(Json::Value(0.1), false), "0.1");
  EXPECT_EQ(sim::json_text(Json::Value(812.0), false), "812.0");
  EXPECT_EQ(sim::json_text(Json::Value(-0.0), false), "-0.0");
  EXPECT_EQ(sim::json_text(Json::Value(1e300), false), "1e+300");
  EXPECT_EQ(sim::json_text(Json::Value(NAN), false), "null");

  std::mt19937_64 random(20240601);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof(value));
    if (!std::isfinite(value)) continue;
    Json::Value parsed;
    std::string text = sim::json_text(Json::Value(value), false);
    ASSERT_TRUE(sim::parse_json(text, &parsed)) << text;
    ASSERT_TRUE(parsed.isDouble()) << text;
    ASSERT_EQ(parsed.type(), Json::realValue) << text;
    double back = parsed.asDouble();
    ASSERT_EQ(std::memcmp(&back, &value, sizeof(value)), 0) << text;
  }
}

TEST(SimJsonTextTest, ParsingIsStrictAndNeverThrows) {
  for (const std::string& text :
       {std::string("{} x"), std::string("/* c */ 1"), std::string("{'a': 1}"),
        std::string("[1,]"), std::string("NaN"), std::string("1e400"),
        std::string("{\"a\": 1, \"a\": 2}"), std::string(""),
        std::string(200000, '['), std::string(200000, '{')}) {
    Json::Value value("untouched");
    std::string error;
    EXPECT_FALSE(sim::parse_json(text, &value, &error)) << text.substr(0, 20);
    EXPECT_EQ(value, Json::Value("untouched"));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace kvo
