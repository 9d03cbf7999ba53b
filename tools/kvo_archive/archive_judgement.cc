#include "kvo_archive/archive_judgement.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "archive/archive_names.h"
#include "archive/checksum_file.h"
#include "archive/paths.h"
#include "base/md5_digest.h"
#include "kvo_archive/tar_members.h"

namespace kvo::archive_tool {
namespace {

// Far above the one line that md5sum writes for one file.
constexpr size_t kChecksumCap = 4096;

bool ends_with(const std::string& text, const std::string& suffix) {
  return text.size() > suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The folder part of `path`: "." for a bare name, "/" for one at the root.
std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

ArchiveState tar_state(TarOutcome outcome) {
  switch (outcome) {
    case TarOutcome::kRead:
      return ArchiveState::kGood;
    case TarOutcome::kNotTar:
      return ArchiveState::kNotTar;
    case TarOutcome::kTruncated:
      return ArchiveState::kTruncated;
    case TarOutcome::kRefused:
      return ArchiveState::kRefusedMember;
    case TarOutcome::kTooLarge:
      return ArchiveState::kMemberTooLarge;
  }
  return ArchiveState::kNotTar;
}

// The checksum file's verdict on the copy, as the platform's check_md5
// after start-up's own check that it names the instance's copy.
ArchiveState checksum_state(const std::string& checksum,
                            const std::string& copy,
                            const std::string& copy_path, std::string* detail) {
  std::vector<ChecksumLine> lines;
  if (!parse_checksum_lines(checksum, &lines)) {
    *detail = "the checksum file is not in md5sum's format";
    return ArchiveState::kChecksumMismatch;
  }
  if (!names_only(lines, copy_path)) {
    *detail = "it names " + lines[0].path +
              (lines.size() > 1 ? " and more" : "") + ", not " + copy_path;
    return ArchiveState::kChecksumNamesAnotherFile;
  }
  std::string actual = md5_hex(copy.data(), copy.size());
  if (actual != lines[0].digest) {
    *detail = "recorded " + lines[0].digest + ", the copy has " + actual;
    return ArchiveState::kChecksumMismatch;
  }
  return ArchiveState::kGood;
}

}  // namespace

const char* state_name(ArchiveState state) {
  switch (state) {
    case ArchiveState::kGood:
      return "good";
    case ArchiveState::kNotTar:
      return "not a tar";
    case ArchiveState::kTruncated:
      return "truncated";
    case ArchiveState::kRefusedMember:
      return "refused member";
    case ArchiveState::kMemberTooLarge:
      return "member too large";
    case ArchiveState::kMissingMember:
      return "missing member";
    case ArchiveState::kChecksumNamesAnotherFile:
      return "checksum names another file";
    case ArchiveState::kChecksumMismatch:
      return "checksum mismatch";
    case ArchiveState::kNotDatabase:
      return "not a database";
    case ArchiveState::kUnexpectedSchema:
      return "unexpected schema";
  }
  return "unknown";
}

Judgement judge_archive(const std::string& path, const std::string& instance) {
  InputFile input(path, kMemberCap);
  if (input.valid()) return judge_archive(input, instance);
  Judgement judgement;
  judgement.detail = input.error();
  return judgement;
}

Judgement judge_archive(const InputFile& input, const std::string& instance) {
  Judgement judgement;
  const std::string copy_name = backup_copy_name(instance);
  const std::string checksum_member = checksum_name(instance);
  TarContents tar = read_tar(input, {copy_name, checksum_member}, kMemberCap);
  judgement.state = tar_state(tar.outcome);
  judgement.detail = tar.detail;
  if (judgement.state != ArchiveState::kGood) return judgement;
  if (instance.empty()) {
    judgement.state = ArchiveState::kMissingMember;
    judgement.detail = "no member NAME_bak.db or NAME.md5";
    return judgement;
  }
  auto copy = tar.kept.find(copy_name);
  auto checksum = tar.kept.find(checksum_member);
  if (copy == tar.kept.end() || checksum == tar.kept.end()) {
    judgement.state = ArchiveState::kMissingMember;
    judgement.detail =
        "no " + (copy == tar.kept.end() ? copy_name : checksum_member);
    return judgement;
  }
  if (checksum->second.size() > kChecksumCap) {
    judgement.state = ArchiveState::kMemberTooLarge;
    judgement.detail = checksum_member + " is larger than " +
                       std::to_string(kChecksumCap) + " bytes";
    return judgement;
  }
  judgement.state = checksum_state(checksum->second, copy->second,
                                   kVolatileDir + copy_name, &judgement.detail);
  auto database = std::make_unique<MemoryDatabase>();
  const DatabaseCheck check = database->open(std::move(copy->second));
  ArchiveState database_state = ArchiveState::kGood;
  if (check.fitness == Fitness::kOtherShape ||
      check.fitness == Fitness::kNoTable) {
    database_state = ArchiveState::kUnexpectedSchema;
  } else if (check.fitness != Fitness::kUsable) {
    database_state = ArchiveState::kNotDatabase;
  } else {
    judgement.database = std::move(database);
  }
  if (judgement.state == ArchiveState::kGood &&
      database_state != ArchiveState::kGood) {
    judgement.state = database_state;
    judgement.detail = copy_name + ": " + check.reason;
  }
  judgement.loads = judgement.state == ArchiveState::kGood;
  return judgement;
}

std::string state_text(const Judgement& judgement) {
  return state_name(judgement.state) +
         (judgement.detail.empty() ? "" : ": " + judgement.detail);
}

std::string folder_instance(const std::string& dir) {
  std::unique_ptr<char, decltype(&std::free)> real(
      ::realpath(dir.c_str(), nullptr), &std::free);
  const std::string path = real ? real.get() : dir;
  return path.substr(path.rfind('/') + 1);  // npos + 1 is 0.
}

std::string instance_of(const InputFile& input) {
  const std::string folder =
      input.is_stdin() ? "" : folder_instance(folder_of(input.path()));
  TarContents tar = read_tar(input, {}, 0);
  std::string named;
  for (const std::string& name : tar.names) {
    for (const char* suffix : {kBackupCopySuffix, kChecksumSuffix}) {
      if (!ends_with(name, suffix)) continue;
      std::string instance = name.substr(0, name.size() - strlen(suffix));
      if (instance == folder) return folder;
      if (named.empty()) named = instance;
    }
  }
  return named;
}

}  // namespace kvo::archive_tool
