#include "kvo_archive/tar_members.h"

#include <archive.h>
#include <archive_entry.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "archive/tar_member_rule.h"

namespace kvo::archive_tool {
namespace {

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;

TarOutcome failure(archive* reader, TarContents* contents) {
  const char* message = archive_error_string(reader);
  contents->detail = message ? message : "unreadable";
  // libarchive says "Truncated tar archive" when the file ends within a
  // header or a member; a file shorter than one header is no tar to it.
  return contents->detail.find("Truncated") != std::string::npos
             ? TarOutcome::kTruncated
             : TarOutcome::kNotTar;
}

// Reads the current member's data into `*bytes`, up to `cap`.
int read_data(archive* reader, archive_entry* entry, size_t cap,
              std::string* bytes) {
  bytes->clear();
  // The size the header claims may lie, so it only sizes the buffer.
  la_int64_t claimed = archive_entry_size(entry);
  if (claimed > 0) {
    // Compared before the cast, which a claim past 4 GiB would wrap on a
    // 32-bit target.
    bytes->reserve(static_cast<size_t>(
        std::min<uint64_t>(static_cast<uint64_t>(claimed), cap)));
  }
  char buffer[65536];
  for (;;) {
    la_ssize_t n = archive_read_data(reader, buffer, sizeof(buffer));
    if (n == 0) return ARCHIVE_OK;
    if (n < 0) return ARCHIVE_FATAL;
    if (bytes->size() + static_cast<size_t>(n) > cap) return ARCHIVE_WARN;
    bytes->append(buffer, static_cast<size_t>(n));
  }
}

// Opens `input` in `reader` from its start. The library reads a descriptor
// from where it is, and leaves it open.
int open_input(archive* reader, const InputFile& input) {
  if (input.is_stdin()) {
    return archive_read_open_memory(reader, input.bytes().data(),
                                    input.bytes().size());
  }
  if (::lseek(input.fd(), 0, SEEK_SET) != 0) return ARCHIVE_FATAL;
  return archive_read_open_fd(reader, input.fd(), 65536);
}

}  // namespace

TarContents read_tar(const InputFile& input,
                     const std::set<std::string>& wanted, size_t cap) {
  TarContents contents;
  Reader reader(archive_read_new(), &archive_read_free);
  if (!reader || archive_read_support_format_tar(reader.get()) != ARCHIVE_OK ||
      open_input(reader.get(), input) != ARCHIVE_OK) {
    if (reader) contents.outcome = failure(reader.get(), &contents);
    return contents;
  }
  for (;;) {
    archive_entry* entry = nullptr;
    int result = archive_read_next_header(reader.get(), &entry);
    if (result == ARCHIVE_EOF) break;
    if (result != ARCHIVE_OK) {
      contents.outcome = failure(reader.get(), &contents);
      return contents;
    }
    const TarMember member = judge_tar_member(
        archive_entry_pathname(entry), archive_entry_filetype(entry),
        archive_entry_hardlink(entry) != nullptr);
    if (member.verdict == MemberVerdict::kRefuse) {
      contents.outcome = TarOutcome::kRefused;
      contents.detail = member.refusal;
      return contents;
    }
    if (member.verdict == MemberVerdict::kSkip) continue;
    const std::string& name = member.name;
    contents.names.push_back(name);
    if (wanted.count(name) == 0) {
      result = archive_read_data_skip(reader.get());
    } else {
      result = read_data(reader.get(), entry, cap, &contents.kept[name]);
      if (result == ARCHIVE_WARN) {
        contents.outcome = TarOutcome::kTooLarge;
        contents.detail =
            name + " is larger than " + std::to_string(cap) + " bytes";
        return contents;
      }
    }
    if (result != ARCHIVE_OK) {
      contents.outcome = failure(reader.get(), &contents);
      return contents;
    }
  }
  contents.outcome = TarOutcome::kRead;
  contents.detail.clear();
  return contents;
}

}  // namespace kvo::archive_tool
