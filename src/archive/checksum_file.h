// What an archive's checksum file must say before its digest is worth
// checking: that it covers the one file the archive is meant to restore.
#ifndef KVO_ARCHIVE_CHECKSUM_FILE_H_
#define KVO_ARCHIVE_CHECKSUM_FILE_H_

#include <string>

namespace kvo {

// True when the file at `md5_path` is a single md5sum line (32 digest
// characters, a space, a space or '*', then the path, then an optional line
// feed) whose path is exactly `file`. Says nothing of the digest itself.
bool checksum_names_only(const std::string& md5_path, const std::string& file);

}  // namespace kvo

#endif  // KVO_ARCHIVE_CHECKSUM_FILE_H_
