#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/utils.h"
#include "support/files.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

struct Member {
  std::string name;
  mode_t type;
  std::string data;  // Content of a file; target of a link.
  bool hard_link = false;
};

// Writes a tar file with libarchive, which, unlike the tar command, writes
// whatever names and types it is given.
void write_tar(const std::string& path, const std::vector<Member>& members) {
  std::unique_ptr<archive, decltype(&archive_write_free)> writer(
      archive_write_new(), &archive_write_free);
  ASSERT_EQ(archive_write_set_format_pax_restricted(writer.get()), ARCHIVE_OK);
  ASSERT_EQ(archive_write_open_filename(writer.get(), path.c_str()),
            ARCHIVE_OK);
  for (const Member& member : members) {
    std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(
        archive_entry_new(), &archive_entry_free);
    archive_entry_set_pathname(entry.get(), member.name.c_str());
    archive_entry_set_filetype(entry.get(), member.type);
    archive_entry_set_perm(entry.get(), 0644);
    if (member.hard_link) {
      archive_entry_set_hardlink(entry.get(), member.data.c_str());
    } else if (member.type == AE_IFLNK) {
      archive_entry_set_symlink(entry.get(), member.data.c_str());
    } else if (member.type == AE_IFREG) {
      archive_entry_set_size(entry.get(), member.data.size());
    } else if (member.type == AE_IFCHR) {
      archive_entry_set_rdevmajor(entry.get(), 1);
      archive_entry_set_rdevminor(entry.get(), 3);
    }
    ASSERT_EQ(archive_write_header(writer.get(), entry.get()), ARCHIVE_OK);
    if (member.type == AE_IFREG && !member.hard_link) {
      ASSERT_EQ(archive_write_data(writer.get(), member.data.data(),
                                   member.data.size()),
                static_cast<la_ssize_t>(member.data.size()));
    }
  }
  ASSERT_EQ(archive_write_close(writer.get()), ARCHIVE_OK);
}

class SimTarTest : public ::testing::Test {
 protected:
  SimTarTest() : root_(dir_.path()), out_(root_ + "/out") {
    shell("mkdir " + root_ + "/src " + out_);
    write_file(root_ + "/src/stats_bak.db", std::string(5000, 'd'));
    write_file(root_ + "/src/stats.md5", "sum\n");
  }

  int extract(const std::string& tar) {
    return extract_tar_file_to_dir(tar.c_str(), (out_ + "/").c_str());
  }

  SimDir dir_;
  std::string root_;
  std::string out_;
};

TEST_F(SimTarTest, UnpacksWhatTheTarCommandPacksReplacingWhatIsThere) {
  shell("tar -cf " + root_ + "/a.tar -C " + root_ +
        "/src stats_bak.db stats.md5");
  write_file(out_ + "/stats_bak.db", "older content");
  // A symlink planted in the directory is replaced, not followed.
  const std::string target = root_ + "/target.txt";
  write_file(target, "keep");
  ASSERT_EQ(::symlink(target.c_str(), (out_ + "/stats.md5").c_str()), 0);
  ASSERT_EQ(extract(root_ + "/a.tar"), 0);
  EXPECT_EQ(names_in(out_),
            (std::set<std::string>{"stats_bak.db", "stats.md5"}));
  EXPECT_EQ(read_file(out_ + "/stats_bak.db"), std::string(5000, 'd'));
  EXPECT_EQ(read_file(target), "keep");
  struct stat info;
  ASSERT_EQ(::lstat((out_ + "/stats.md5").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(read_file(out_ + "/stats.md5"), "sum\n");

  // A folder packed as "." holds the member "./" and "./" names.
  shell("tar -cf " + root_ + "/dot.tar -C " + root_ + "/src .");
  ASSERT_EQ(::unlink((out_ + "/stats.md5").c_str()), 0);
  ASSERT_EQ(extract(root_ + "/dot.tar"), 0);
  EXPECT_EQ(read_file(out_ + "/stats.md5"), "sum\n");
}

TEST_F(SimTarTest, RefusesHostileOrBrokenArchivesWithoutWritingAnything) {
  const std::string outside = root_ + "/outside.txt";
  const std::vector<Member> hostile[] = {
      {{"../outside.txt", AE_IFREG, "evil"}},
      {{outside, AE_IFREG, "evil"}},
      {{"./../outside.txt", AE_IFREG, "evil"}},
      {{"sub/file", AE_IFREG, "evil"}},
      {{"sub/", AE_IFDIR, ""}},
      {{"..", AE_IFDIR, ""}},
      {{"link", AE_IFLNK, outside}},
      {{"hard", AE_IFREG, "good.txt", true}},
      {{"dev", AE_IFCHR, ""}},
      {{"fifo", AE_IFIFO, ""}},
  };
  for (const std::vector<Member>& members : hostile) {
    SCOPED_TRACE(members[0].name);
    std::vector<Member> all = {{"good.txt", AE_IFREG, "good"}};
    all.insert(all.end(), members.begin(), members.end());
    write_tar(root_ + "/hostile.tar", all);
    EXPECT_NE(extract(root_ + "/hostile.tar"), 0);
    EXPECT_EQ(names_in(out_), std::set<std::string>());
    EXPECT_EQ(read_file(outside), "(missing)");
  }

  const std::string good = root_ + "/good.tar";
  shell("tar -cf " + good + " -C " + root_ + "/src stats.md5 stats_bak.db");
  // Cut inside the data of the second member.
  shell("head -c 3072 " + good + " > " + root_ + "/cut.tar");
  write_file(root_ + "/text.tar", "this is not a tar archive\n");
  write_file(root_ + "/empty.tar", "");
  for (const char* tar : {"/cut.tar", "/text.tar", "/empty.tar", "/missing"}) {
    EXPECT_NE(extract(root_ + tar), 0) << tar;
    EXPECT_EQ(names_in(out_), std::set<std::string>()) << tar;
  }
  EXPECT_NE(extract_tar_file_to_dir(good.c_str(), (root_ + "/none/").c_str()),
            0);
  EXPECT_NE(extract_tar_file_to_dir(good.c_str(), good.c_str()), 0);
}

}  // namespace
}  // namespace kvo
