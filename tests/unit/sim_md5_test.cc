#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/utils.h"
#include "support/sim_dir.h"
#include "unit/sim_fixtures.h"

namespace kvo {
namespace {

class SimMd5Test : public ::testing::Test {
 protected:
  SimMd5Test() : data_(dir_.path() + "/stats_bak.db") {
    write_file(data_, std::string(100000, 'x') + "end");
    write_file(dir_.path() + "/other.db", "other");
  }

  // Runs md5sum with `arguments` into the checksum file `name`; its path.
  std::string md5sum(const std::string& name, const std::string& arguments) {
    std::string path = dir_.path() + "/" + name;
    EXPECT_EQ(run_shell("md5sum " + arguments + " > " + path), 0);
    return path;
  }

  int check(const std::string& md5_file) {
    return check_md5(md5_file.c_str(), false);
  }

  SimDir dir_;
  std::string data_;
};

TEST_F(SimMd5Test, AcceptsWhatMd5sumWrites) {
  EXPECT_EQ(check(md5sum("text.md5", data_)), 0);
  EXPECT_EQ(check(md5sum("binary.md5", "-b " + data_)), 0);
  EXPECT_EQ(check(md5sum("two.md5", data_ + " " + dir_.path() + "/other.db")),
            0);
  std::string line = read_file(dir_.path() + "/text.md5");
  for (size_t i = 0; i < 32; ++i)
    line[i] = static_cast<char>(std::toupper(line[i]));
  write_file(dir_.path() + "/upper.md5", line);
  EXPECT_EQ(check(dir_.path() + "/upper.md5"), 0);
  line.pop_back();
  write_file(dir_.path() + "/no_newline.md5", line);
  EXPECT_EQ(check(dir_.path() + "/no_newline.md5"), 0);
}

TEST_F(SimMd5Test, RejectsMismatchAndMissingFiles) {
  std::string md5_file = md5sum("text.md5", data_);
  std::string both = md5sum("two.md5", data_ + " " + dir_.path() + "/other.db");
  write_file(dir_.path() + "/other.db", "changed");
  EXPECT_NE(check(both), 0);
  write_file(data_, std::string(100000, 'x') + "enD");
  EXPECT_NE(check(md5_file), 0);
  ASSERT_EQ(::unlink(data_.c_str()), 0);
  EXPECT_NE(check(md5_file), 0);
  EXPECT_NE(check(dir_.path() + "/missing.md5"), 0);
  EXPECT_NE(check_md5(nullptr, false), 0);
}

TEST_F(SimMd5Test, RejectsMalformedChecksumFiles) {
  std::string line = read_file(md5sum("text.md5", data_));
  std::string digest = line.substr(0, 32);
  const std::string malformed[] = {
      "",
      "\n",
      digest + " " + data_ + "\n",
      digest + "\t" + data_ + "\n",
      digest.substr(1) + "  " + data_ + "\n",
      digest + "0  " + data_ + "\n",
      "g" + digest.substr(1) + "  " + data_ + "\n",
      digest + "  \n",
      line + "\n",
      "\\" + line,
      "MD5 (" + data_ + ") = " + digest + "\n",
      " " + line,
  };
  for (const std::string& text : malformed) {
    write_file(dir_.path() + "/bad.md5", text);
    EXPECT_NE(check(dir_.path() + "/bad.md5"), 0) << text;
  }
}

}  // namespace
}  // namespace kvo
