#include "archive/checksum_file.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <utility>

namespace kvo {
namespace {

constexpr size_t kDigits = 32;

bool parse_line(const std::string& line, ChecksumLine* parsed) {
  if (line.size() < kDigits + 3 || line[kDigits] != ' ' ||
      (line[kDigits + 1] != ' ' && line[kDigits + 1] != '*')) {
    return false;
  }
  parsed->digest.clear();
  for (size_t i = 0; i < kDigits; ++i) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (!std::isxdigit(c)) return false;
    parsed->digest.push_back(static_cast<char>(std::tolower(c)));
  }
  parsed->path = line.substr(kDigits + 2);
  return true;
}

}  // namespace

bool parse_checksum_lines(const std::string& text,
                          std::vector<ChecksumLine>* lines) {
  lines->clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ChecksumLine line;
    if (!parse_line(text.substr(start, end - start), &line)) return false;
    lines->push_back(std::move(line));
    start = end + 1;
  }
  return !lines->empty();
}

bool names_only(const std::vector<ChecksumLine>& lines,
                const std::string& file) {
  return lines.size() == 1 && lines[0].path == file;
}

bool checksum_names_only(const std::string& md5_path, const std::string& file) {
  std::ifstream in(md5_path, std::ios::binary);
  if (!in) return false;
  // A checksum file longer than its one expected line cannot pass, so
  // reading stops there whatever the archive holds.
  const size_t expected = kDigits + 2 + file.size() + 1;
  std::string text;
  text.reserve(expected);
  std::istreambuf_iterator<char> it(in), end;
  for (; it != end && text.size() <= expected; ++it) text.push_back(*it);
  std::vector<ChecksumLine> lines;
  return parse_checksum_lines(text, &lines) && names_only(lines, file);
}

}  // namespace kvo
