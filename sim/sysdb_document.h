// sysdb.json, the simulated system database: a JSON object from key name to
// {"namedb": <string or null>, "type": <integer>, "value": <any JSON>}.
// Shared by the platform functions and the kvo-sim tool.
//
// A bad file never crashes a reader; it makes the affected calls fail:
//  - a file that is not valid JSON, or whose top level is not an object,
//    is an unreadable database: every key is unknown, every read and write
//    fails and nothing is written over it;
//  - an entry that is not an object, whose "type" is not an integer in the
//    range of int, or whose "namedb" is neither a string nor null, makes
//    that one key unknown; the other keys work, and writes keep the bad
//    entry as it is;
//  - a missing "namedb" is null; a key without "value" cannot be read but
//    can be written.
// A missing file is an empty database.
#ifndef KVO_SIM_SYSDB_DOCUMENT_H_
#define KVO_SIM_SYSDB_DOCUMENT_H_

#include <json/value.h>

#include <string>

#include "file_io.h"

namespace kvo::sim {

struct SysdbDocument {
  bool valid = false;
  Json::Value root{Json::objectValue};  // Empty unless valid.
  std::string error;                    // Why it is not valid.
};

SysdbDocument parse_sysdb(const FileContents& contents);

// The database at `path` as it is now.
SysdbDocument load_sysdb(const std::string& path);

// The text of sysdb.json holding `root`.
std::string sysdb_text(const Json::Value& root);

// One well-formed entry. The pointers point into the document.
struct SysdbEntry {
  const Json::Value* namedb = nullptr;  // A string; null when there is none.
  int type = 0;
  const Json::Value* value = nullptr;  // Null when the entry has none.

  // Whether the key is held in the named database `db`.
  bool in_db(const char* db) const;
};

// False when `entry` is malformed.
bool parse_entry(const Json::Value& entry, SysdbEntry* out);

// False when `key` is unknown or its entry malformed.
bool find_entry(const Json::Value& root, const char* key, SysdbEntry* out);

}  // namespace kvo::sim

#endif  // KVO_SIM_SYSDB_DOCUMENT_H_
