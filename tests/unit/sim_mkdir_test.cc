#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/utils.h"
#include "support/sim_dir.h"
#include "unit/sim_fixtures.h"

namespace kvo {
namespace {

bool is_directory(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TEST(SimMkdirTest, CreatesMissingParentsAndAcceptsExistingDirectories) {
  SimDir dir;
  std::string root = dir.path();
  for (const std::string& path :
       {root + "/archive/stats/", root + "/archive/stats/", root + "/a//b/c",
        root + "/archive"}) {
    EXPECT_EQ(kvo_mkdir_create_parents(path.c_str()), 0) << path;
    EXPECT_TRUE(is_directory(path)) << path;
  }
}

TEST(SimMkdirTest, FailsWhenNoDirectoryCanExist) {
  SimDir dir;
  write_file(dir.path() + "/file", "x");
  for (const std::string& path :
       {dir.path() + "/file", dir.path() + "/file/sub/", std::string()}) {
    EXPECT_NE(kvo_mkdir_create_parents(path.c_str()), 0) << path;
  }
  EXPECT_NE(kvo_mkdir_create_parents(nullptr), 0);
  EXPECT_EQ(read_file(dir.path() + "/file"), "x");
}

}  // namespace
}  // namespace kvo
