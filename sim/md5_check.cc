#include "md5_check.h"

#include <string>
#include <vector>

#include "archive/checksum_file.h"
#include "base/md5_digest.h"
#include "file_io.h"

namespace kvo::sim {

bool md5_file_verifies(const char* md5_file) {
  if (md5_file == nullptr) return false;
  FileContents contents = read_contents(md5_file);
  std::vector<ChecksumLine> lines;
  if (contents.state != FileState::kRead ||
      !parse_checksum_lines(contents.bytes, &lines)) {
    return false;
  }
  for (const ChecksumLine& line : lines) {
    std::string actual;
    if (!md5_file_hex(line.path, &actual) || actual != line.digest)
      return false;
  }
  return true;
}

}  // namespace kvo::sim
