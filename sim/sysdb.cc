// The system database functions over the folder's sysdb.json (see
// sysdb_document.h for what a bad file does).
#include "platform/sysdb.h"

#include <cmath>
#include <string>
#include <utility>

#include "cached_file.h"
#include "file_io.h"
#include "platform_call.h"
#include "sim_folder.h"
#include "sysdb_document.h"

namespace {

using kvo::sim::CachedFile;
using kvo::sim::find_entry;
using kvo::sim::folder_file;
using kvo::sim::platform_call;
using kvo::sim::SysdbDocument;
using kvo::sim::SysdbEntry;

// The database as it is now; empty when the file is missing or bad.
const Json::Value& sysdb_root() {
  static CachedFile<SysdbDocument> cache(kvo::sim::parse_sysdb);
  return cache.get(folder_file("sysdb.json")).root;
}

// The value of `key` when it is held in `db` and has one; else null.
const Json::Value* stored_value(const char* db, const char* key) {
  SysdbEntry entry;
  if (!find_entry(sysdb_root(), key, &entry) || !entry.in_db(db)) {
    return nullptr;
  }
  return entry.value;
}

int write_value(const char* db, const char* key, Json::Value value) {
  // The database as it is now, with any rewrite made by another process
  // since the last call: the write keeps it. The file written is a new
  // inode, so the next call reads it back.
  const Json::Value& current = sysdb_root();
  SysdbEntry entry;
  if (!find_entry(current, key, &entry) || !entry.in_db(db)) return -1;
  Json::Value root = current;
  root[key]["value"] = std::move(value);
  std::string error;
  return kvo::sim::write_file_atomically(folder_file("sysdb.json"),
                                         kvo::sim::sysdb_text(root), &error)
             ? 0
             : -1;
}

}  // namespace

int sysdb_get_key_type(const char* key) {
  return platform_call("sysdb_get_key_type", 0, [&] {
    SysdbEntry entry;
    return find_entry(sysdb_root(), key, &entry) ? entry.type : 0;
  });
}

const char* sysdb_get_namedb(const char* key) {
  static std::string namedb;
  const char* none = nullptr;
  return platform_call("sysdb_get_namedb", none, [&]() -> const char* {
    SysdbEntry entry;
    if (!find_entry(sysdb_root(), key, &entry) || entry.namedb == nullptr) {
      return nullptr;
    }
    namedb = entry.namedb->asString();
    return namedb.c_str();
  });
}

int sysdb_namedb_read_int(sysdb_context*, const char* db, const char* key,
                          int32_t* value) {
  return platform_call("sysdb_namedb_read_int", -1, [&] {
    const Json::Value* stored = stored_value(db, key);
    // isInt also takes a double with an integral value in range, as 2.0.
    if (stored == nullptr || value == nullptr || !stored->isInt()) return -1;
    *value = stored->asInt();
    return 0;
  });
}

int sysdb_namedb_read_json(sysdb_context*, const char* db, const char* key,
                           Json::Value* value) {
  return platform_call("sysdb_namedb_read_json", -1, [&] {
    const Json::Value* stored = stored_value(db, key);
    if (stored == nullptr || value == nullptr) return -1;
    Json::Value result(Json::objectValue);
    result[key] = *stored;
    value->swap(result);
    return 0;
  });
}

int sysdb_namedb_write_int(sysdb_context*, const char* db, const char* key,
                           int32_t value, int) {
  return platform_call("sysdb_namedb_write_int", -1, [&] {
    return write_value(db, key, Json::Value(Json::Int(value)));
  });
}

int sysdb_namedb_write_dbl(sysdb_context*, const char* db, const char* key,
                           double value, int) {
  return platform_call("sysdb_namedb_write_dbl", -1, [&] {
    // JSON has no NaN or infinity.
    if (!std::isfinite(value)) return -1;
    return write_value(db, key, Json::Value(value));
  });
}

int sysdb_namedb_write_str(sysdb_context*, const char* db, const char* key,
                           const char* value, int) {
  return platform_call("sysdb_namedb_write_str", -1, [&] {
    if (value == nullptr) return -1;
    return write_value(db, key, Json::Value(value));
  });
}
