// Where an instance keeps its files on a device. Fixed paths: the service
// has no switch to move them, so tests and tools take them from here.
#ifndef KVO_ARCHIVE_PATHS_H_
#define KVO_ARCHIVE_PATHS_H_

namespace kvo {

// Volatile storage: working databases, backup staging, unpacked archives.
inline constexpr char kVolatileDir[] = "/var/volatile/kvo/";
// Non-volatile storage: one folder of numbered archive files per instance.
inline constexpr char kArchiveRoot[] = "/var/data/kvo/archive/";

}  // namespace kvo

#endif  // KVO_ARCHIVE_PATHS_H_
