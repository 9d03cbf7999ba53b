// The judgement of one archive file: whether the service's start-up would
// load it, and whether the database copy it carries is sound.
#ifndef KVO_TOOLS_KVO_ARCHIVE_ARCHIVE_JUDGEMENT_H_
#define KVO_TOOLS_KVO_ARCHIVE_ARCHIVE_JUDGEMENT_H_

#include <memory>
#include <string>

#include "archive/schema.h"
#include "kvo_archive/input_file.h"
#include "kvo_archive/memory_database.h"

namespace kvo::archive_tool {

// In the order start-up meets them; the first that applies is the state.
enum class ArchiveState {
  kGood,
  kNotTar,
  kTruncated,
  kRefusedMember,   // A link, device node or unsafe name.
  kMemberTooLarge,  // Larger than any copy the service can write.
  kMissingMember,   // No <name>_bak.db or no <name>.md5.
  kChecksumNamesAnotherFile,
  kChecksumMismatch,  // Includes a checksum file start-up cannot read.
  // The copy fails the check start-up makes before loading it.
  kNotDatabase,       // Damaged, or no SQLite database at all.
  kUnexpectedSchema,  // No table data the service can use.
};

const char* state_name(ArchiveState state);

// Above any database member the service writes (its copies stop at the
// hard page limit), so that a huge or endless member cannot fill memory.
inline constexpr size_t kMemberCap =
    size_t{kHardPageLimit + kPagesPerMiB} * kPageSize;

struct Judgement {
  ArchiveState state = ArchiveState::kNotTar;
  std::string detail;
  bool loads = false;  // Start-up would take it as the working database.
  // The copy, opened, when it is a usable database, whatever the checksum
  // said (for a look at a rejected archive).
  std::unique_ptr<MemoryDatabase> database;
};

// The state's name, then ": " and the detail when there is one.
std::string state_text(const Judgement& judgement);

// Judges the archive file `input` as start-up judges the archives of the
// instance `instance` (empty: unknown, so no member is the instance's).
Judgement judge_archive(const InputFile& input, const std::string& instance);
// The same for the file at `path`; one that is unreadable or no regular
// file is not a tar.
Judgement judge_archive(const std::string& path, const std::string& instance);

// The name of the folder `dir` itself, also when given as "." or through a
// link: on a device, the instance whose archives it holds.
std::string folder_instance(const std::string& dir);

// The instance that the archive file `input` belongs to, as its members
// name it: the name of its folder when they bear that name (as on a
// device), else the first name they bear; empty when they bear none.
std::string instance_of(const InputFile& input);

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_ARCHIVE_JUDGEMENT_H_
