#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <syslog.h>

#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "sandboxed/archive_files_support.h"

namespace kvo {
namespace {

using ::testing::ElementsAre;
using Names = std::set<std::string>;

namespace fs = std::filesystem;

constexpr char kDir[] = "/var/data/kvo/archive/stats/";

class RotationTest : public testing_db::DeviceTest {
 protected:
  // Refills the archive folder with exactly `names`.
  static void fill(const Names& names) {
    fs::remove_all(kDir);
    fs::create_directories(kDir);
    for (const std::string& name : names) files_test::touch(kDir + name);
  }

  // Rotates with `next_archive_number`; the numbers in the paths of the
  // "Removing old archive" lines, in log order.
  std::vector<std::string> rotate(uint32_t next_archive_number) {
    ArchivePeer::set_backup_state(archive_, 0, 600, next_archive_number);
    log_.clear();
    archive_.remove_old_archives();
    const std::string prefix = std::string("Removing old archive (") + kDir;
    std::vector<std::string> removed;
    for (const std::string& text : log_.texts(LOG_NOTICE)) {
      if (text.rfind(prefix, 0) == 0) {
        removed.push_back(text.substr(prefix.size()));
      }
    }
    return removed;
  }

  Archive archive_{"stats"};
};

const Names kZeroToNine = {"0.tar", "1.tar", "2.tar", "3.tar", "4.tar",
                           "5.tar", "6.tar", "7.tar", "8.tar", "9.tar"};

TEST_F(RotationTest, KeepsThreeBelowTheNextNumberAndDeletesNewestFirst) {
  fill(kZeroToNine);
  EXPECT_THAT(rotate(9), ElementsAre("5.tar)", "4.tar)", "3.tar)", "2.tar)",
                                     "1.tar)", "0.tar)"));
  EXPECT_EQ(names_in(kDir), Names({"6.tar", "7.tar", "8.tar", "9.tar"}));
  const std::vector<LogLine>& lines = log_.lines();
  ASSERT_EQ(lines.size(), 1u + 10u + 6u + 1u);
  EXPECT_EQ(lines.front(),
            (LogLine{LOG_INFO, "Removing old archives (stats)"}));
  EXPECT_EQ(log_.count("Found archive 7.tar"), 1);
  EXPECT_EQ(lines.back(),
            (LogLine{LOG_INFO, "Finished removing old archives (stats)"}));

  fill(kZeroToNine);
  EXPECT_EQ(rotate(10).size(), 7u);
  EXPECT_EQ(names_in(kDir), Names({"7.tar", "8.tar", "9.tar"}));

  fill(kZeroToNine);
  EXPECT_THAT(rotate(0), ElementsAre());
  EXPECT_EQ(names_in(kDir), kZeroToNine);

  // Numbers at or above the next number neither count nor go.
  const Names above = {"2.tar", "3.tar", "4.tar",
                       "5.tar", "6.tar", "4294967295.tar"};
  fill(above);
  EXPECT_THAT(rotate(5), ElementsAre());
  EXPECT_EQ(names_in(kDir), above);

  fs::remove_all(kDir);
  rotate(7);
  EXPECT_THAT(
      log_.lines(),
      ElementsAre(LogLine{LOG_INFO, "Removing old archives (stats)"},
                  LogLine{LOG_INFO, "Finished removing old archives (stats)"}));
}

TEST_F(RotationTest, NamesAreReadAsNumbersAndTheDeletedPathIsBuiltFromThem) {
  fill({"14.tar", "12.tar.old", "0012.tar", "11.tar", "notes.tar", "x5.tar",
        "5", "5.tgz"});
  // 12.tar.old and 0012.tar take two of the three places.
  EXPECT_THAT(rotate(15), ElementsAre("11.tar)"));
  EXPECT_EQ(log_.texts(LOG_NOTICE).size(), 4u + 1u);  // Four found, one gone.

  // Once 12 is old, the path removed ends in 12.tar, once per entry read
  // as 12; the entries themselves stay.
  for (const char* name : {"12.tar", "15.tar", "16.tar", "17.tar"}) {
    files_test::touch(kDir + std::string(name));
  }
  EXPECT_THAT(rotate(18),
              ElementsAre("14.tar)", "12.tar)", "12.tar)", "12.tar)"));
  EXPECT_EQ(names_in(kDir),
            Names({"15.tar", "16.tar", "17.tar", "12.tar.old", "0012.tar",
                   "notes.tar", "x5.tar", "5", "5.tgz"}));
}

}  // namespace
}  // namespace kvo
