#include "archive/archive_directory.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

namespace kvo {
namespace {

constexpr uint32_t kLargestNumber = std::numeric_limits<uint32_t>::max();

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool read_archive_number(const char* name, uint32_t* number) {
  const char* p = name;
  while (is_space(*p)) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (!is_digit(*p)) return false;
  uint64_t magnitude = 0;
  for (; is_digit(*p); ++p) {
    magnitude = std::min<uint64_t>(magnitude * 10 + (*p - '0'),
                                   uint64_t{kLargestNumber} + 1);
  }
  if (magnitude > kLargestNumber) {
    *number = kLargestNumber;
  } else {
    uint32_t value = static_cast<uint32_t>(magnitude);
    *number = negative ? 0u - value : value;
  }
  return true;
}

std::vector<ArchiveEntry> list_archives(const std::string& dir) {
  std::vector<ArchiveEntry> entries;
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return entries;
  while (const dirent* entry = readdir(listing)) {
    uint32_t number;
    if (std::strstr(entry->d_name, ".tar") == nullptr) continue;
    if (!read_archive_number(entry->d_name, &number)) continue;
    entries.push_back({entry->d_name, number});
  }
  closedir(listing);
  return entries;
}

std::vector<uint32_t> numbers_newest_first(
    const std::vector<ArchiveEntry>& entries) {
  std::vector<uint32_t> numbers;
  numbers.reserve(entries.size());
  for (const ArchiveEntry& entry : entries) numbers.push_back(entry.number);
  std::sort(numbers.begin(), numbers.end(), std::greater<uint32_t>());
  return numbers;
}

std::string archive_path(const std::string& dir, uint32_t number) {
  return dir + std::to_string(number) + ".tar";
}

uint32_t next_number(uint32_t number) {
  return number == kLargestNumber ? number : number + 1;
}

}  // namespace kvo
