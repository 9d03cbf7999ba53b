// The names of an instance's staged files in volatile storage, which are
// also the member names inside its archives: the backup copy of the working
// database and the checksum file that md5sum writes for it. The one home of
// these names for the service and for kvo-archive.
#ifndef KVO_ARCHIVE_ARCHIVE_NAMES_H_
#define KVO_ARCHIVE_ARCHIVE_NAMES_H_

#include <string>

namespace kvo {

inline constexpr char kBackupCopySuffix[] = "_bak.db";
inline constexpr char kChecksumSuffix[] = ".md5";

// "<instance>_bak.db".
inline std::string backup_copy_name(const std::string& instance) {
  return instance + kBackupCopySuffix;
}

// "<instance>.md5".
inline std::string checksum_name(const std::string& instance) {
  return instance + kChecksumSuffix;
}

}  // namespace kvo

#endif  // KVO_ARCHIVE_ARCHIVE_NAMES_H_
