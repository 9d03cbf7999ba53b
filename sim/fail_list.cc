#include "fail_list.h"

#include <algorithm>

#include "cached_file.h"
#include "sim_folder.h"

namespace kvo::sim {
namespace {

std::vector<std::string> parse_fail_file(const FileContents& contents) {
  if (contents.state != FileState::kRead) return {};
  return parse_fail_list(contents.bytes);
}

}  // namespace

bool is_failable(const std::string& function) {
  return std::find(kFailableFunctions.begin(), kFailableFunctions.end(),
                   function) != kFailableFunctions.end();
}

std::vector<std::string> parse_fail_list(const std::string& text) {
  static constexpr char kSpace[] = " \t\r\v\f";
  std::vector<std::string> names;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t first = text.find_first_not_of(kSpace, start);
    if (first < end) {
      size_t last = text.find_last_not_of(kSpace, end - 1);
      names.push_back(text.substr(first, last + 1 - first));
    }
    start = end + 1;
  }
  return names;
}

bool failure_injected(const char* function) {
  static CachedFile<std::vector<std::string>> list(parse_fail_file);
  static FolderFile file("fail");
  const std::vector<std::string>& names = list.get(file.path());
  return std::find(names.begin(), names.end(), function) != names.end();
}

}  // namespace kvo::sim
