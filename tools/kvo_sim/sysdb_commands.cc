// init, set, get, list and power: the commands over sysdb.json.
#include <sys/stat.h>

#include <cstdint>
#include <iostream>
#include <limits>
#include <optional>

#include "archive/archive_key.h"
#include "integer_text.h"
#include "json_text.h"
#include "kvo_sim/commands.h"
#include "kvo_sim/vehicle.h"
#include "make_dirs.h"
#include "sim_folder.h"
#include "sysdb_document.h"

namespace kvo::sim_cli {
namespace {

constexpr char kSysdb[] = "sysdb.json";

// Loads sysdb.json into `*document`; an exit code, after a message when the
// file is bad. A missing file is an empty database.
int load(sim::SysdbDocument* document) {
  std::string path = sim::folder_file(kSysdb);
  *document = sim::load_sysdb(path);
  if (!document->valid) return failed(path + ": " + document->error);
  return kExitOk;
}

int save(const Json::Value& root) {
  return write_folder_file(kSysdb, sim::sysdb_text(root));
}

bool parse_int(const std::string& text, int64_t min, int64_t max,
               int64_t* value) {
  return sim::parse_int64(text, value) && *value >= min && *value <= max;
}

// VALUE as JSON when it is JSON (12, 1.5, true, "text"), else the string.
Json::Value value_of(const std::string& text) {
  Json::Value value;
  if (!sim::parse_json(text, &value)) value = text;
  return value;
}

}  // namespace

int run_init(const Args& args) {
  CommandLine parsed;
  if (!parse_args("init", args, {{{"force", 'f', false}}, 0, 0}, &parsed)) {
    return kExitUsage;
  }
  std::string path = sim::folder_file(kSysdb);
  struct stat info;
  if (!parsed.has("force") && ::stat(path.c_str(), &info) == 0) {
    return failed(path + " exists; use --force to replace it");
  }
  std::string commands = sim::folder_file("cmd");
  if (!sim::make_dirs(commands.c_str())) {
    return failed("cannot create the folder " + commands);
  }
  return save(simulated_vehicle());
}

int run_set(const Args& args) {
  CommandLine parsed;
  if (!parse_args("set", args, {{{"type", 't', true}, {"db", 'D', true}}, 2, 2},
                  &parsed)) {
    return kExitUsage;
  }
  const std::string& key = parsed.positional[0];
  std::optional<Json::Value> type;
  std::optional<Json::Value> namedb;
  if (parsed.has("type")) {
    int64_t code = 0;
    if (!parse_int(parsed.value("type"), std::numeric_limits<int>::min(),
                   std::numeric_limits<int>::max(), &code)) {
      return usage_error("set: --type needs an integer");
    }
    type = Json::Value(static_cast<Json::Int>(code));
  }
  if (parsed.has("db")) {
    const std::string name = parsed.value("db");
    if (name.empty()) return usage_error("set: --db needs a name or null");
    namedb = name == "null" ? Json::Value() : Json::Value(name);
  }
  sim::SysdbDocument document;
  if (int code = load(&document)) return code;
  Json::Value& entry = document.root[key];
  if (!entry.isObject()) {
    if (!type || !namedb) {
      return usage_error("set: " + key + " is a new key: give --type and --db");
    }
    entry = Json::Value(Json::objectValue);
  }
  if (namedb) entry["namedb"] = *namedb;
  if (type) entry["type"] = *type;
  entry["value"] = value_of(parsed.positional[1]);
  return save(document.root);
}

int run_get(const Args& args) {
  CommandLine parsed;
  if (!parse_args("get", args, {{}, 1, 1}, &parsed)) return kExitUsage;
  const std::string& key = parsed.positional[0];
  sim::SysdbDocument document;
  if (int code = load(&document)) return code;
  if (!document.root.isMember(key)) return failed("unknown key " + key);
  sim::SysdbEntry entry;
  if (!sim::parse_entry(document.root[key], &entry)) {
    return failed(key + ": malformed entry " +
                  sim::json_text(document.root[key], false));
  }
  if (entry.value == nullptr) return failed(key + " has no value");
  std::cout << sim::json_text(*entry.value, false) << "\n";
  return kExitOk;
}

int run_list(const Args& args) {
  CommandLine parsed;
  if (!parse_args("list", args, {{}, 0, 0}, &parsed)) return kExitUsage;
  sim::SysdbDocument document;
  if (int code = load(&document)) return code;
  for (const std::string& key : document.root.getMemberNames()) {
    const Json::Value& raw = document.root[key];
    sim::SysdbEntry entry;
    if (!sim::parse_entry(raw, &entry)) {
      std::cout << key << "\tmalformed entry " << sim::json_text(raw, false)
                << "\n";
      continue;
    }
    std::cout << key << "\t"
              << (entry.namedb != nullptr ? entry.namedb->asString() : "null")
              << "\t" << entry.type << "\t"
              << (entry.value != nullptr ? sim::json_text(*entry.value, false)
                                         : "(no value)")
              << "\n";
  }
  return kExitOk;
}

int run_power(const Args& args) {
  CommandLine parsed;
  if (!parse_args("power", args, {{}, 1, 1}, &parsed)) return kExitUsage;
  int64_t state = 0;
  if (!parse_int(parsed.positional[0], std::numeric_limits<int32_t>::min(),
                 std::numeric_limits<int32_t>::max(), &state)) {
    return usage_error("power: the state must be a 32-bit integer");
  }
  sim::SysdbDocument document;
  if (int code = load(&document)) return code;
  // The service reads the power state as this key of this database only.
  Json::Value& entry = document.root["SYS_STATE_INT"];
  if (!entry.isObject()) entry = Json::Value(Json::objectValue);
  entry["namedb"] = "SYS";
  entry["type"] = KEY_TYPE_INT;
  entry["value"] = static_cast<Json::Int>(state);
  return save(document.root);
}

}  // namespace kvo::sim_cli
