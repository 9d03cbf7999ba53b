// What the service's start-up does with one instance's archive folder, by
// its rules (archive/archive_order.h): it tries the numbers newest first,
// deleting each archive it rejects, loads the first it accepts, and
// rotation then removes all but the archives kept below the next number.
#ifndef KVO_TOOLS_KVO_ARCHIVE_STARTUP_PLAN_H_
#define KVO_TOOLS_KVO_ARCHIVE_STARTUP_PLAN_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_directory.h"
#include "kvo_archive/archive_judgement.h"

namespace kvo::archive_tool {

struct StartupPlan {
  bool loads = false;
  uint32_t loaded = 0;
  std::set<uint32_t> deleted;  // Rejected: their N.tar is unlinked.
  std::set<uint32_t> removed;  // Rotated away after the load.
};

// Plans start-up over `entries` of the folder `dir` (ending in a slash) of
// `instance`. `judged` maps paths to judgements already made; the paths
// start-up opens (N.tar, also for odd names) are judged into it as needed.
StartupPlan plan_startup(const std::string& dir, const std::string& instance,
                         const std::vector<ArchiveEntry>& entries,
                         std::map<std::string, Judgement>* judged);

// What happens to the file of `entry`: "load", "delete", "keep", "remove",
// or "as N.tar" for an odd name, which start-up reads but never touches.
std::string startup_action(const ArchiveEntry& entry, const StartupPlan& plan);

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_STARTUP_PLAN_H_
