#include "clock_offset.h"

#include <string_view>

#include "cached_file.h"
#include "integer_text.h"
#include "sim_folder.h"

namespace kvo::sim {
namespace {

int64_t parse_clock_file(const FileContents& contents) {
  int64_t offset = 0;
  if (contents.state != FileState::kRead ||
      !parse_clock_offset(contents.bytes, &offset)) {
    return 0;
  }
  return offset;
}

}  // namespace

bool parse_clock_offset(const std::string& text, int64_t* offset) {
  static constexpr char kSpace[] = " \t\r\n\v\f";
  size_t first = text.find_first_not_of(kSpace);
  if (first == std::string::npos) return false;
  size_t last = text.find_last_not_of(kSpace);
  return parse_int64(std::string_view(text).substr(first, last + 1 - first),
                     offset);
}

int64_t clock_offset() {
  static CachedFile<int64_t> file(parse_clock_file);
  static FolderFile path("clock_offset");
  return file.get(path.path());
}

}  // namespace kvo::sim
