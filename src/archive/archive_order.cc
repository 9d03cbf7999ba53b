#include "archive/archive_order.h"

namespace kvo {

LoadWalk walk_newest_first(
    const std::vector<uint32_t>& numbers,
    const std::function<LoadAttempt(uint32_t)>& attempt) {
  for (uint32_t number : numbers) {
    const LoadAttempt outcome = attempt(number);
    if (outcome != LoadAttempt::kRejected) return {outcome, number};
  }
  return {};
}

std::vector<uint32_t> numbers_rotated_out(
    const std::vector<ArchiveEntry>& entries, uint32_t next) {
  std::vector<uint32_t> removed;
  int kept = 0;
  for (uint32_t number : numbers_newest_first(entries)) {
    if (number >= next) continue;
    if (kept < kArchivesKept) {
      ++kept;
    } else {
      removed.push_back(number);
    }
  }
  return removed;
}

}  // namespace kvo
