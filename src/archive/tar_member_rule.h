// Which members of an archive file extraction takes: regular files under a
// bare name, one leading "./" dropped. A folder member that names the
// folder itself ("", ".", "./" or "./.") is skipped. Any other member
// refuses the whole archive: no name; a name that is empty, "." or "..",
// absolute, holds any other "/", or is longer than a file name may be; any
// other folder, a symbolic or hard link, a device node, a fifo.
// The one rule for the simulated platform's extraction and for kvo-archive,
// which reads members in memory.
#ifndef KVO_ARCHIVE_TAR_MEMBER_RULE_H_
#define KVO_ARCHIVE_TAR_MEMBER_RULE_H_

#include <sys/types.h>

#include <string>

namespace kvo {

enum class MemberVerdict { kTake, kSkip, kRefuse };

struct TarMember {
  MemberVerdict verdict = MemberVerdict::kRefuse;
  std::string name;     // For kTake: the file name to extract it as.
  std::string refusal;  // For kRefuse: why, for a message.
};

// The verdict on a member named `path` (null: none) whose file type is
// `type` (the S_IFMT bits, as libarchive's archive_entry_filetype gives
// them), `hard_link` when the tar header makes it a hard link: some tar
// variants give one the type of a regular file.
TarMember judge_tar_member(const char* path, mode_t type, bool hard_link);

}  // namespace kvo

#endif  // KVO_ARCHIVE_TAR_MEMBER_RULE_H_
