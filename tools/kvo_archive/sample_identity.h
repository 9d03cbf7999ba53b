// The numbers that make a row of an archive a sample one can load once
// from many archives, where a rowid is no identity (start-up's VACUUM
// numbers rows anew): n, the row's place among the archive's rows that
// agree with it in time, key, type and value as dump writes them, and pos,
// its place among the archive's rows of the same time. Both count from 1,
// in rowid order, the order the service wrote the rows in.
#ifndef KVO_TOOLS_KVO_ARCHIVE_SAMPLE_IDENTITY_H_
#define KVO_TOOLS_KVO_ARCHIVE_SAMPLE_IDENTITY_H_

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <unordered_map>

namespace kvo::archive_tool {

class SampleIdentity {
 public:
  struct Numbers {
    int64_t n;
    int64_t pos;
  };

  SampleIdentity() = default;
  SampleIdentity(const SampleIdentity&) = delete;
  SampleIdentity& operator=(const SampleIdentity&) = delete;

  // The numbers of the next row, whose columns 1, 2 and 3 in `statement`
  // are ts, key and value. Every row of the archive must be given, in
  // rowid order, also those a dump leaves out.
  Numbers next(sqlite3_stmt* statement);

 private:
  // The rows of one time so far, and of each of its samples by key, type
  // and value (the value's bytes, which its written text stands for).
  struct Time {
    int64_t rows = 0;
    std::unordered_map<std::string, int64_t> rows_of_sample;
  };

  std::unordered_map<std::string, Time> times_;  // By time as written.
  std::unordered_map<std::string, uint32_t> key_numbers_;
  // Rows of one time mostly follow each other: the last one's is at hand,
  // by the time as stored.
  std::string last_stored_time_;
  Time* last_ = nullptr;
  std::string sample_;
};

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_SAMPLE_IDENTITY_H_
