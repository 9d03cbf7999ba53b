#include "archive/checksum_file.h"

#include <fstream>
#include <iterator>

namespace kvo {

bool checksum_names_only(const std::string& md5_path, const std::string& file) {
  constexpr size_t kDigestLength = 32;
  std::ifstream in(md5_path, std::ios::binary);
  if (!in) return false;
  // A checksum file longer than its one expected line cannot pass, so
  // reading stops there whatever the archive holds.
  const size_t expected = kDigestLength + 2 + file.size() + 1;
  std::string text;
  text.reserve(expected);
  std::istreambuf_iterator<char> it(in), end;
  for (; it != end && text.size() <= expected; ++it) text.push_back(*it);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text.size() == kDigestLength + 2 + file.size() &&
         text[kDigestLength] == ' ' &&
         (text[kDigestLength + 1] == ' ' || text[kDigestLength + 1] == '*') &&
         text.compare(kDigestLength + 2, std::string::npos, file) == 0;
}

}  // namespace kvo
