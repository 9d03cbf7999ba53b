// Which databases the service can work on: the rule start-up applies to an
// archived copy, the running service to its working database, and
// kvo-archive to the archives it judges.
#include "archive/database_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/device.h"

namespace kvo {
namespace {

TEST(DatabaseCheckTest, TellsUsableCopiesFromDamagedAndForeignOnes) {
  SimDir dir;  // A private folder.
  const std::string db = dir.path() + "/copy.db", table = kCreateTable;
  struct Case {
    std::string make;  // SQL, or the file's bytes after "bytes:".
    Fitness fitness;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {table, Fitness::kUsable, ""},
      // Names are case-blind in SQL; extra columns that need no value and
      // an index change nothing for the service's statements.
      {"CREATE TABLE DATA (Key TEXT, VALUE, note DEFAULT 0, id INTEGER "
       "PRIMARY KEY NOT NULL); CREATE INDEX i ON data (key)",
       Fitness::kUsable, ""},
      {"CREATE TABLE data (key TEXT)", Fitness::kOtherShape,
       "data has no column value"},
      {"CREATE TABLE data (key TEXT, value, note NOT NULL)",
       Fitness::kOtherShape, "data's column note needs a value"},
      {"CREATE TABLE data (key TEXT, value AS (1))", Fitness::kOtherShape,
       "data has no column value"},
      {"CREATE TABLE data (key PRIMARY KEY, value) WITHOUT ROWID",
       Fitness::kOtherShape, "data has no rowid"},
      {"CREATE VIEW data AS SELECT 'K' AS key, 77 AS value",
       Fitness::kOtherShape, "data is a view"},
      {table + "; CREATE TABLE t (x); CREATE TRIGGER g AFTER INSERT ON t "
               "BEGIN SELECT 1; END",
       Fitness::kOtherShape, "holds a trigger"},
      {"bytes:", Fitness::kNoTable, "no table data"},
      {"bytes:" + std::string(8192, 'x'), Fitness::kDamaged,
       "file is not a database"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(db);
    if (c.make.compare(0, 6, "bytes:") == 0) {
      write_file(db, c.make.substr(6));
    } else {
      sql(db, c.make);
    }
    const DatabaseCheck check = check_database_file(db);
    EXPECT_EQ(check.fitness, c.fitness) << c.make;
    EXPECT_EQ(check.reason, c.reason) << c.make;
  }
  // A page of rows zeroed: only the integrity check sees it.
  std::filesystem::remove(db);
  fill(db, 300, 1000);
  shell("dd if=/dev/zero of=" + db +
        " bs=4096 seek=40 count=1 conv=notrunc status=none");
  EXPECT_EQ(check_database_file(db).fitness, Fitness::kDamaged);
  EXPECT_EQ(check_database_file(dir.path() + "/none/x.db").fitness,
            Fitness::kUnknown);
}

}  // namespace
}  // namespace kvo
