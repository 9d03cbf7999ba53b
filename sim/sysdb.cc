// The system database functions over the folder's sysdb.json (see
// sysdb_document.h for what a bad file does).
#include "platform/sysdb.h"

#include <cmath>
#include <string>
#include <utility>

#include "cached_file.h"
#include "exported.h"
#include "file_io.h"
#include "platform_call.h"
#include "sim_folder.h"
#include "sysdb_document.h"
#include "sysdb_index.h"

namespace {

using kvo::sim::CachedFile;
using kvo::sim::FolderFile;
using kvo::sim::platform_call;
using kvo::sim::SysdbEntry;
using kvo::sim::SysdbIndex;
using kvo::sim::SysdbKey;

FolderFile& sysdb_file() {
  static FolderFile file("sysdb.json");
  return file;
}

// The well-formed keys of the database as it is now.
const SysdbIndex& sysdb_index() {
  static CachedFile<SysdbIndex> cache(SysdbIndex::of);
  return cache.get(sysdb_file().path());
}

// The value of `key` when it is held in `db` and has one; else null.
const Json::Value* stored_value(const char* db, const char* key) {
  const SysdbKey* entry = sysdb_index().find(key);
  if (entry == nullptr || !entry->in_db(db) || !entry->has_value) {
    return nullptr;
  }
  return &entry->value;
}

int write_value(const char* db, const char* key, Json::Value value) {
  // The whole database as it is now, with any rewrite made by another
  // process since the last call: the write keeps it, bad entries included.
  // The file written is a new inode, so the next read indexes it again.
  const std::string& path = sysdb_file().path();
  kvo::sim::SysdbDocument document = kvo::sim::load_sysdb(path);
  SysdbEntry entry;
  if (!document.valid || !kvo::sim::find_entry(document.root, key, &entry) ||
      !entry.in_db(db)) {
    return -1;
  }
  document.root[key]["value"] = std::move(value);
  std::string error;
  return kvo::sim::write_file_atomically(
             path, kvo::sim::sysdb_text(document.root), &error)
             ? 0
             : -1;
}

}  // namespace

KVO_SIM_EXPORTED int sysdb_get_key_type(const char* key) {
  return platform_call("sysdb_get_key_type", 0, [&] {
    const SysdbKey* entry = sysdb_index().find(key);
    return entry != nullptr ? entry->type : 0;
  });
}

KVO_SIM_EXPORTED const char* sysdb_get_namedb(const char* key) {
  static std::string namedb;
  const char* none = nullptr;
  return platform_call("sysdb_get_namedb", none, [&]() -> const char* {
    const SysdbKey* entry = sysdb_index().find(key);
    if (entry == nullptr || !entry->has_namedb) return nullptr;
    namedb = entry->namedb;
    return namedb.c_str();
  });
}

KVO_SIM_EXPORTED int sysdb_namedb_read_int(sysdb_context*, const char* db,
                                           const char* key, int32_t* value) {
  return platform_call("sysdb_namedb_read_int", -1, [&] {
    const Json::Value* stored = stored_value(db, key);
    // isInt also takes a double with an integral value in range, as 2.0.
    if (stored == nullptr || value == nullptr || !stored->isInt()) return -1;
    *value = stored->asInt();
    return 0;
  });
}

KVO_SIM_EXPORTED int sysdb_namedb_read_json(sysdb_context*, const char* db,
                                            const char* key,
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

KVO_SIM_EXPORTED int sysdb_namedb_write_int(sysdb_context*, const char* db,
                                            const char* key, int32_t value,
                                            int) {
  return platform_call("sysdb_namedb_write_int", -1, [&] {
    return write_value(db, key, Json::Value(Json::Int(value)));
  });
}

KVO_SIM_EXPORTED int sysdb_namedb_write_dbl(sysdb_context*, const char* db,
                                            const char* key, double value,
                                            int) {
  return platform_call("sysdb_namedb_write_dbl", -1, [&] {
    // JSON has no NaN or infinity.
    if (!std::isfinite(value)) return -1;
    return write_value(db, key, Json::Value(value));
  });
}

KVO_SIM_EXPORTED int sysdb_namedb_write_str(sysdb_context*, const char* db,
                                            const char* key, const char* value,
                                            int) {
  return platform_call("sysdb_namedb_write_str", -1, [&] {
    if (value == nullptr) return -1;
    return write_value(db, key, Json::Value(value));
  });
}
