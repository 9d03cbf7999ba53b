#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/utils.h"
#include "support/files.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

// Members named like the extraction's own staging files, in front of the
// ones that matter, each still ends up holding its own content; a staging
// folder left by a killed extraction is gone.
TEST(HostileNamesTest, MemberNamesCannotReachTheExtractionsOwnFiles) {
  SimDir dir;
  const std::string src = dir.path() + "/src", out = dir.path() + "/out";
  shell("mkdir -p " + src + " " + out + "/.kvo-extract-left && echo x >" + out +
        "/.kvo-extract-left/stats_bak.db");
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

}  // namespace
}  // namespace kvo
