// What the reading functions need of sysdb.json, kept between calls: the
// well-formed entries only (sysdb_document.h says which are), each with its
// named database, type and value, found by one hash lookup. It holds a
// fraction of the memory of the whole parsed document, which only a write
// needs and reads afresh.
#ifndef KVO_SIM_SYSDB_INDEX_H_
#define KVO_SIM_SYSDB_INDEX_H_

#include <json/value.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "file_io.h"

namespace kvo::sim {

struct SysdbKey {
  std::string name;
  bool has_namedb = false;
  std::string namedb;
  int type = 0;
  bool has_value = false;
  Json::Value value;

  // Whether the key is held in the named database `db`.
  bool in_db(const char* db) const {
    return has_namedb && db != nullptr && namedb == db;
  }
};

class SysdbIndex {
 public:
  SysdbIndex() = default;
  // The lookup points into the entries, which a move leaves in place.
  SysdbIndex(const SysdbIndex&) = delete;
  SysdbIndex& operator=(const SysdbIndex&) = delete;
  SysdbIndex(SysdbIndex&&) = default;
  SysdbIndex& operator=(SysdbIndex&&) = default;

  // The entries of a sysdb.json as read; none when it is missing or bad.
  static SysdbIndex of(const FileContents& contents);

  // The entry of `key`; null when it is unknown or malformed.
  const SysdbKey* find(const char* key) const;

 private:
  std::vector<SysdbKey> keys_;
  std::unordered_map<std::string_view, const SysdbKey*> lookup_;
};

}  // namespace kvo::sim

#endif  // KVO_SIM_SYSDB_INDEX_H_
