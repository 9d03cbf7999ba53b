// Which archive start-up loads and which archives rotation keeps: the one
// home of both rules, for the service and for kvo-archive's account of
// what start-up will do with a folder.
#ifndef KVO_ARCHIVE_ARCHIVE_ORDER_H_
#define KVO_ARCHIVE_ARCHIVE_ORDER_H_

#include <cstdint>
#include <functional>
#include <vector>

#include "archive/archive_directory.h"

namespace kvo {

// What became of one archive that start-up tried.
enum class LoadAttempt { kLoaded, kRejected, kKept };

struct LoadWalk {
  // kRejected when every archive was rejected, or there was none.
  LoadAttempt outcome = LoadAttempt::kRejected;
  uint32_t number = 0;  // The archive the walk stopped at.
};

// Start-up tries `numbers` (as numbers_newest_first gives them) through
// `attempt`, which deletes an archive it rejects before the next older one
// is tried, so a bad archive is never tried at a later start. The walk
// stops at the first archive that loads or is kept: a kept one may be the
// newest good archive, so it and all older ones stay.
LoadWalk walk_newest_first(const std::vector<uint32_t>& numbers,
                           const std::function<LoadAttempt(uint32_t)>& attempt);

// How many archives rotation keeps below the next archive number.
inline constexpr int kArchivesKept = 3;

// The numbers rotation removes from a folder holding `entries` when the
// next archive number is `next`, newest first: all below `next` but the
// kArchivesKept newest, each entry counted (two names may give one
// number). Numbers at or above `next` stay: right after a backup, that is
// the archive just written.
std::vector<uint32_t> numbers_rotated_out(
    const std::vector<ArchiveEntry>& entries, uint32_t next);

}  // namespace kvo

#endif  // KVO_ARCHIVE_ARCHIVE_ORDER_H_
