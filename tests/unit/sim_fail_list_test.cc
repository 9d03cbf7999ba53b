#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>

#include "fail_list.h"
#include "platform/cmd.h"
#include "platform/sysdb.h"
#include "platform/utils.h"
#include "support/files.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

// Every function that honours the fail file, each called so that it would
// succeed; true when it did.
std::map<std::string, std::function<bool()>> calls(const SimDir& dir) {
  std::string root = dir.path();
  std::string tar = root + "/a.tar";
  std::string md5 = root + "/a.md5";
  int32_t number = 0;
  Json::Value value;
  return {
      {"sysdb_get_key_type", [] { return sysdb_get_key_type("K") == 2; }},
      {"sysdb_get_namedb", [] { return sysdb_get_namedb("K") != nullptr; }},
      {"sysdb_namedb_read_int",
       [=]() mutable {
         return sysdb_namedb_read_int(nullptr, "D", "K", &number) == 0;
       }},
      {"sysdb_namedb_read_json",
       [=]() mutable {
         return sysdb_namedb_read_json(nullptr, "D", "K", &value) == 0;
       }},
      {"sysdb_namedb_write_int",
       [] { return sysdb_namedb_write_int(nullptr, "D", "K", 2, 0) == 0; }},
      {"sysdb_namedb_write_dbl",
       [] { return sysdb_namedb_write_dbl(nullptr, "D", "F", 2.5, 0) == 0; }},
      {"sysdb_namedb_write_str",
       [] { return sysdb_namedb_write_str(nullptr, "D", "S", "s", 0) == 0; }},
      {"cmd_get_value_json",
       [=]() mutable { return cmd_get_value_json("doc", &value) == 0; }},
      {"kvo_mkdir_create_parents",
       [=] { return kvo_mkdir_create_parents((root + "/a/b/").c_str()) == 0; }},
      {"extract_tar_file_to_dir",
       [=] {
         return extract_tar_file_to_dir(tar.c_str(), (root + "/a/").c_str()) ==
                0;
       }},
      {"check_md5", [=] { return check_md5(md5.c_str(), false) == 0; }},
      {"sync_to_fs", [] { return sync_to_fs(0) == 0; }},
  };
}

TEST(SimFailListTest, EachListedFunctionFailsWhileListed) {
  SimDir dir;
  dir.set_key("K", "D", 2, 2);
  dir.set_key("F", "D", 3, 2.5);
  dir.set_key("S", "D", 4, "s");
  dir.set_command("doc", Json::Value(Json::objectValue));
  write_file(dir.path() + "/data", "data");
  shell("cd " + dir.path() + " && tar -cf a.tar data && mkdir a && md5sum " +
        dir.path() + "/data > a.md5");
  auto functions = calls(dir);
  std::set<std::string> names;
  for (const auto& [name, call] : functions) names.insert(name);
  EXPECT_EQ(names, std::set<std::string>(sim::kFailableFunctions.begin(),
                                         sim::kFailableFunctions.end()));

  for (const auto& [name, call] : functions) EXPECT_TRUE(call()) << name;
  for (const auto& [listed, ignored] : functions) {
    dir.write("fail", "\n  check_md5_typo\n\t" + listed + " \r\n\n");
    for (const auto& [name, call] : functions) {
      EXPECT_EQ(call(), name != listed) << name << " with " << listed;
    }
  }
  dir.write("fail", "");
  for (const auto& [name, call] : functions) EXPECT_TRUE(call()) << name;
}

}  // namespace
}  // namespace kvo
