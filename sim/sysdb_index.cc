#include "sysdb_index.h"

#include <utility>

#include "sysdb_document.h"

namespace kvo::sim {

SysdbIndex SysdbIndex::of(const FileContents& contents) {
  SysdbIndex index;
  SysdbDocument document = parse_sysdb(contents);
  if (!document.valid) return index;
  index.keys_.reserve(document.root.size());
  for (auto it = document.root.begin(); it != document.root.end(); ++it) {
    SysdbEntry entry;
    if (!parse_entry(*it, &entry)) continue;
    SysdbKey key;
    key.name = it.name();
    key.has_namedb = entry.namedb != nullptr;
    if (key.has_namedb) key.namedb = entry.namedb->asString();
    key.type = entry.type;
    key.has_value = entry.value != nullptr;
    if (key.has_value) key.value = *entry.value;
    index.keys_.push_back(std::move(key));
  }
  // Filled only now: the entries no longer move.
  index.lookup_.reserve(index.keys_.size());
  for (const SysdbKey& key : index.keys_) index.lookup_.emplace(key.name, &key);
  return index;
}

const SysdbKey* SysdbIndex::find(const char* key) const {
  if (key == nullptr) return nullptr;
  const auto it = lookup_.find(key);
  return it == lookup_.end() ? nullptr : it->second;
}

}  // namespace kvo::sim
