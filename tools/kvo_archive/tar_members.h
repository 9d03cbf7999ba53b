// Reads an archive file's members into memory by the rule of the platform's
// extraction (archive/tar_member_rule.h), without writing anything
// anywhere.
#ifndef KVO_TOOLS_KVO_ARCHIVE_TAR_MEMBERS_H_
#define KVO_TOOLS_KVO_ARCHIVE_TAR_MEMBERS_H_

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "kvo_archive/input_file.h"

namespace kvo::archive_tool {

enum class TarOutcome {
  kRead,       // Every member was read: extraction would succeed.
  kNotTar,     // Not a tar archive, or a damaged header.
  kTruncated,  // The file ends inside a header or a member.
  kRefused,    // A member extraction refuses (see above).
  kTooLarge,   // A kept member is larger than the cap.
};

struct TarContents {
  TarOutcome outcome = TarOutcome::kNotTar;
  std::string detail;              // The library's reason or the member's.
  std::vector<std::string> names;  // Regular members, in archive order.
  // The bytes of the members asked for, the last one of a name winning as
  // it does when extraction renames members over each other.
  std::map<std::string, std::string> kept;
};

// Reads the tar file `input` (valid) from its start, keeping the members
// named in `wanted`, each up to `cap` bytes; other members are skipped, so
// memory stays bounded by the cap whatever the archive claims.
TarContents read_tar(const InputFile& input,
                     const std::set<std::string>& wanted, size_t cap);

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_TAR_MEMBERS_H_
