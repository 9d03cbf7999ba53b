// What an archive directory holds: archive files named by their number in
// decimal followed by ".tar", a larger number being a newer archive. Shared
// by rotation and start-up initialization, which must read the directory
// the same way.
#ifndef KVO_ARCHIVE_ARCHIVE_DIRECTORY_H_
#define KVO_ARCHIVE_ARCHIVE_DIRECTORY_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kvo {

// One directory entry taken for an archive file, and the number read from it.
struct ArchiveEntry {
  std::string name;
  uint32_t number;
};

// Reads the archive number at the start of `name` the way the "%u" of
// sscanf(name, "%u.tar", ...) does on a device with a 32-bit unsigned long:
// optional white space, an optional sign, decimal digits up to the first
// other character; a minus negates modulo 2^32 and a magnitude beyond
// 4294967295 saturates to it. False when no digit follows.
bool read_archive_number(const char* name, uint32_t* number);

// The entries of `dir` whose name contains ".tar" and begins with a number,
// in listing order; empty when `dir` cannot be opened.
std::vector<ArchiveEntry> list_archives(const std::string& dir);

// The numbers of `entries`, largest first, each duplicate kept.
std::vector<uint32_t> numbers_newest_first(
    const std::vector<ArchiveEntry>& entries);

// `dir` (ending in a slash) + `number` + ".tar": the archive file proper,
// whatever the entry name was that yielded the number.
std::string archive_path(const std::string& dir, uint32_t number);

// The number after `number`. It stays at 4294967295 instead of wrapping to
// 0, so that the largest number is always the newest archive.
uint32_t next_number(uint32_t number);

}  // namespace kvo

#endif  // KVO_ARCHIVE_ARCHIVE_DIRECTORY_H_
