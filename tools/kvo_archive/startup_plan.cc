#include "kvo_archive/startup_plan.h"

#include "archive/archive_order.h"

namespace kvo::archive_tool {

StartupPlan plan_startup(const std::string& dir, const std::string& instance,
                         const std::vector<ArchiveEntry>& entries,
                         std::map<std::string, Judgement>* judged) {
  StartupPlan plan;
  const LoadWalk walk =
      walk_newest_first(numbers_newest_first(entries), [&](uint32_t number) {
        std::string path = archive_path(dir, number);
        auto found = judged->find(path);
        if (found == judged->end()) {
          found = judged->emplace(path, judge_archive(path, instance)).first;
          found->second.database.reset();  // Only the verdict counts here.
        }
        if (found->second.loads) return LoadAttempt::kLoaded;
        plan.deleted.insert(number);
        return LoadAttempt::kRejected;
      });
  if (walk.outcome != LoadAttempt::kLoaded) return plan;
  plan.loads = true;
  plan.loaded = walk.number;
  // Rotation lists the folder again: deleted files are gone, odd names stay.
  std::vector<ArchiveEntry> left;
  for (const ArchiveEntry& entry : entries) {
    if (plan.deleted.count(entry.number) == 0 ||
        entry.name != archive_path("", entry.number)) {
      left.push_back(entry);
    }
  }
  for (uint32_t number : numbers_rotated_out(left, next_number(plan.loaded))) {
    plan.removed.insert(number);
  }
  return plan;
}

std::string startup_action(const ArchiveEntry& entry, const StartupPlan& plan) {
  const std::string canonical = archive_path("", entry.number);
  if (entry.name != canonical) return "as " + canonical;
  if (plan.deleted.count(entry.number)) return "delete";
  if (plan.loads && entry.number == plan.loaded) return "load";
  return plan.removed.count(entry.number) ? "remove" : "keep";
}

}  // namespace kvo::archive_tool
