#include "kvo_archive/startup_plan.h"

namespace kvo::archive_tool {
namespace {

// As rotation keeps them: the loaded archive and the two below it.
constexpr int kArchivesKept = 3;

std::string canonical_name(uint32_t number) {
  return std::to_string(number) + ".tar";
}

}  // namespace

StartupPlan plan_startup(const std::string& dir, const std::string& instance,
                         const std::vector<ArchiveEntry>& entries,
                         std::map<std::string, Judgement>* judged) {
  StartupPlan plan;
  for (uint32_t number : numbers_newest_first(entries)) {
    std::string path = archive_path(dir, number);
    auto found = judged->find(path);
    if (found == judged->end()) {
      found = judged->emplace(path, judge_archive(path, instance)).first;
      found->second.database.reset();  // Only the verdict counts here.
    }
    if (found->second.loads) {
      plan.loads = true;
      plan.loaded = number;
      break;
    }
    plan.deleted.insert(number);
  }
  if (!plan.loads) return plan;
  // Rotation lists the folder again: deleted files are gone, odd names stay.
  std::vector<ArchiveEntry> left;
  for (const ArchiveEntry& entry : entries) {
    if (plan.deleted.count(entry.number) == 0 ||
        entry.name != canonical_name(entry.number)) {
      left.push_back(entry);
    }
  }
  int kept = 0;
  uint32_t next = next_number(plan.loaded);
  for (uint32_t number : numbers_newest_first(left)) {
    if (number >= next) continue;
    if (kept < kArchivesKept) {
      ++kept;
    } else {
      plan.removed.insert(number);
    }
  }
  return plan;
}

std::string startup_action(const ArchiveEntry& entry, const StartupPlan& plan) {
  if (entry.name != canonical_name(entry.number)) {
    return "as " + canonical_name(entry.number);
  }
  if (plan.deleted.count(entry.number)) return "delete";
  if (plan.loads && entry.number == plan.loaded) return "load";
  return plan.removed.count(entry.number) ? "remove" : "keep";
}

}  // namespace kvo::archive_tool
