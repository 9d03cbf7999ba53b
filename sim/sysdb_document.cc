#include "sysdb_document.h"

#include <cstring>

#include "json_text.h"

namespace kvo::sim {
namespace {

const Json::Value* member(const Json::Value& object, const char* name) {
  return object.find(name, name + std::strlen(name));
}

}  // namespace

SysdbDocument parse_sysdb(const FileContents& contents) {
  SysdbDocument document;
  switch (contents.state) {
    case FileState::kMissing:
      document.valid = true;
      return document;
    case FileState::kUnreadable:
      document.error = "cannot be read";
      return document;
    case FileState::kRead:
      break;
  }
  Json::Value root;
  if (!parse_json(contents.bytes, &root, &document.error)) return document;
  if (!root.isObject()) {
    document.error = "the top level is not a JSON object";
    return document;
  }
  document.valid = true;
  document.root.swap(root);
  return document;
}

SysdbDocument load_sysdb(const std::string& path) {
  return parse_sysdb(read_contents(path));
}

std::string sysdb_text(const Json::Value& root) {
  return json_text(root, true) + "\n";
}

bool SysdbEntry::in_db(const char* db) const {
  if (namedb == nullptr || db == nullptr) return false;
  const char* begin = "";
  const char* end = begin;
  namedb->getString(&begin, &end);
  size_t length = std::strlen(db);
  return static_cast<size_t>(end - begin) == length &&
         std::memcmp(begin, db, length) == 0;
}

bool parse_entry(const Json::Value& entry, SysdbEntry* out) {
  if (!entry.isObject()) return false;
  const Json::Value* type = member(entry, "type");
  const Json::Value* namedb = member(entry, "namedb");
  if (type == nullptr || !type->isInt()) return false;
  if (namedb != nullptr && !namedb->isString() && !namedb->isNull()) {
    return false;
  }
  out->type = type->asInt();
  out->namedb = namedb != nullptr && namedb->isString() ? namedb : nullptr;
  out->value = member(entry, "value");
  return true;
}

bool find_entry(const Json::Value& root, const char* key, SysdbEntry* out) {
  if (key == nullptr || !root.isObject()) return false;
  const Json::Value* entry = member(root, key);
  return entry != nullptr && parse_entry(*entry, out);
}

}  // namespace kvo::sim
