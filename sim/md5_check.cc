#include "md5_check.h"

#include <cctype>
#include <utility>

#include "file_io.h"
#include "md5_digest.h"

namespace kvo::sim {
namespace {

constexpr size_t kDigits = 32;

bool parse_line(const std::string& line, Md5Line* parsed) {
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

bool parse_md5_lines(const std::string& text, std::vector<Md5Line>* lines) {
  lines->clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    Md5Line line;
    if (!parse_line(text.substr(start, end - start), &line)) return false;
    lines->push_back(std::move(line));
    start = end + 1;
  }
  return !lines->empty();
}

bool md5_file_verifies(const char* md5_file) {
  if (md5_file == nullptr) return false;
  FileContents contents = read_contents(md5_file);
  std::vector<Md5Line> lines;
  if (contents.state != FileState::kRead ||
      !parse_md5_lines(contents.bytes, &lines)) {
    return false;
  }
  for (const Md5Line& line : lines) {
    std::string actual;
    if (!md5_file_hex(line.path, &actual) || actual != line.digest)
      return false;
  }
  return true;
}

}  // namespace kvo::sim
