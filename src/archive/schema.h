// The one table of every working database and the size arithmetic around
// it, shared by the service, its tests and the tools that read archives.
#ifndef KVO_ARCHIVE_SCHEMA_H_
#define KVO_ARCHIVE_SCHEMA_H_

#include <cstdint>

namespace kvo {

inline constexpr char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS data (ts TIMESTAMP DEFAULT CURRENT_TIMESTAMP, "
    "key TEXT, value BLOB)";

// SQLite's default page size, which the service never changes.
inline constexpr uint32_t kPageSize = 4096;
inline constexpr uint32_t kPagesPerMiB = (1u << 20) / kPageSize;
// The connection's own page limit, the same for every instance and above
// the configured size limits that check_size enforces: 11 MiB.
inline constexpr uint32_t kHardPageLimit = 2816;

}  // namespace kvo

#endif  // KVO_ARCHIVE_SCHEMA_H_
