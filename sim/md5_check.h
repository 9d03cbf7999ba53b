// Verification of checksum files in the format md5sum writes: per line 32
// hexadecimal digits, a space, a space or '*' (binary mode), the path, a
// line feed (optional on the last line). A relative path is taken from the
// current directory, as md5sum -c does. Digits compare in either case.
// Anything else is malformed, including an empty file, a blank line and
// md5sum's backslash form for names with special characters.
#ifndef KVO_SIM_MD5_CHECK_H_
#define KVO_SIM_MD5_CHECK_H_

#include <string>
#include <vector>

namespace kvo::sim {

struct Md5Line {
  std::string digest;  // 32 lower-case hexadecimal digits.
  std::string path;
};

// False when `text` is malformed.
bool parse_md5_lines(const std::string& text, std::vector<Md5Line>* lines);

// True when the checksum file at `md5_file` is well formed and every file it
// names has the digest recorded for it.
bool md5_file_verifies(const char* md5_file);

}  // namespace kvo::sim

#endif  // KVO_SIM_MD5_CHECK_H_
