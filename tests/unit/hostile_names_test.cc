#include <gtest/gtest.h>
#include <json/value.h>
#include <unistd.h>

#include <string>

#include "archive/archive.h"
#include "platform/utils.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

// Members named like the extraction's own staging files, in front of the
// ones that matter, each still ends up holding its own content.
TEST(HostileNamesTest, MemberNamesCannotReachTheExtractionsOwnFiles) {
  SimDir dir;
  const std::string src = dir.path() + "/src", out = dir.path() + "/out";
  shell("mkdir " + src + " " + out);
  std::string names;
  for (int i = 1; i <= 200; ++i) {
    std::string name =
        ".kvo-extract-" + std::to_string(getpid()) + "-" + std::to_string(i);
    write_file(src + "/" + name, name);
    names += " " + name;
  }
  for (const char* name :
       {".kvo-extract-XXXXXX", "stats_bak.db", "stats.md5"}) {
    write_file(src + "/" + name, name);
    names += std::string(" ") + name;
  }
  shell("tar -cf " + dir.path() + "/t.tar -C " + src + names);
  ASSERT_EQ(extract_tar_file_to_dir((dir.path() + "/t.tar").c_str(),
                                    (out + "/").c_str()),
            0);
  EXPECT_EQ(shell("cd " + out + " && ls -A | wc -l"), "203\n");
  EXPECT_EQ(shell("cd " + out +
                  " && for f in .??* *; do [ \"$(cat \"$f\")\" = \"$f\" ] || "
                  "echo \"$f\"; done"),
            "");
}

// The system database sees a name up to its first NUL; so does the key list.
TEST(HostileNamesTest, KeyNameIsCutAtItsFirstNul) {
  SimDir sim;
  LogCapture log;
  sim.set_key("A", "VEH", KEY_TYPE_DOUBLE, 1.5);
  Json::Value config;
  config["list"][0]["name"] = std::string("A\0x", 3);
  config["list"][0]["restore"] = true;
  Archive archive("archive");
  archive.apply_config(config, 10, 30);
  ASSERT_EQ(archive.keys().size(), 1u);
  EXPECT_EQ(archive.keys().begin()->first, "A");
  EXPECT_TRUE(archive.keys().begin()->second.restore);
}

}  // namespace
}  // namespace kvo
