// The `fail` file: one platform function name a line; each listed function
// fails while it is listed, returning its failure value (non-zero, or null
// or 0 where that is how it fails). Blank lines and whitespace around a
// name are ignored; a missing or unreadable file lists nothing.
#ifndef KVO_SIM_FAIL_LIST_H_
#define KVO_SIM_FAIL_LIST_H_

#include <array>
#include <string>
#include <vector>

namespace kvo::sim {

// Every platform function that honours the list. fwtime_s is not among
// them: it has no failure value.
inline constexpr std::array<const char*, 12> kFailableFunctions = {
    "sysdb_get_key_type",
    "sysdb_get_namedb",
    "sysdb_namedb_read_int",
    "sysdb_namedb_read_json",
    "sysdb_namedb_write_int",
    "sysdb_namedb_write_dbl",
    "sysdb_namedb_write_str",
    "cmd_get_value_json",
    "kvo_mkdir_create_parents",
    "extract_tar_file_to_dir",
    "check_md5",
    "sync_to_fs",
};

bool is_failable(const std::string& function);

// The names listed in the text of a fail file, in order.
std::vector<std::string> parse_fail_list(const std::string& text);

// Whether the folder's fail file lists `function` now.
bool failure_injected(const char* function);

}  // namespace kvo::sim

#endif  // KVO_SIM_FAIL_LIST_H_
