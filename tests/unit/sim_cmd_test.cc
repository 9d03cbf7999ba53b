#include <gtest/gtest.h>

#include <string>

#include "platform/cmd.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

TEST(SimCmdTest, ReturnsTheCurrentDocumentOrFailsLeavingTheValue) {
  SimDir dir;
  Json::Value doc, value;
  doc["list"][0]["name"] = "VEH_ODOMETER";
  dir.set_command("system.data_logger", doc);
  ASSERT_EQ(cmd_get_value_json("system.data_logger", &value), 0);
  EXPECT_EQ(value, doc);
  dir.write("cmd/system.data_logger.json", "42\n");  // Any JSON document.
  ASSERT_EQ(cmd_get_value_json("system.data_logger", &value), 0);
  EXPECT_EQ(value, 42);

  value = "untouched";
  EXPECT_NE(cmd_get_value_json("missing", &value), 0);
  for (const std::string& text :
       {std::string("{\"list\": ["), std::string("{} {}"), std::string(""),
        std::string("{'a': 1}"), std::string(50000, '[')}) {
    dir.write("cmd/system.data_logger.json", text);
    EXPECT_NE(cmd_get_value_json("system.data_logger", &value), 0)
        << text.substr(0, 20);
  }
  dir.write("cmd/a_folder.json/inner", "{}");
  EXPECT_NE(cmd_get_value_json("a_folder", &value), 0);
  EXPECT_NE(cmd_get_value_json("system.data_logger", nullptr), 0);
  EXPECT_EQ(value, Json::Value("untouched"));
}

TEST(SimCmdTest, NamesCannotReachFilesOutsideCmd) {
  SimDir dir;
  // Each refused name would reach a valid JSON file if taken as a path.
  dir.write("sysdb.json", "{}");
  dir.write("cmd/sub/doc.json", "{}");
  for (const char* file : {".json", "..json", "...json", "....json"}) {
    dir.write(std::string("cmd/") + file, "{}");
  }
  Json::Value value("untouched");
  for (const char* name : {"../sysdb", "sub/doc", "/sub/doc", ".", "..", ""}) {
    EXPECT_NE(cmd_get_value_json(name, &value), 0) << name;
  }
  EXPECT_NE(cmd_get_value_json(nullptr, &value), 0);
  EXPECT_EQ(value, Json::Value("untouched"));
  // Dots alone do not leave the folder.
  EXPECT_EQ(cmd_get_value_json("...", &value), 0);
}

}  // namespace
}  // namespace kvo
