#include "md5_check.h"

#include <errno.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cctype>
#include <memory>

#include "file_io.h"
#include "unique_fd.h"

namespace kvo::sim {
namespace {

constexpr size_t kDigits = 32;

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

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

bool digest_fd(int fd, unsigned char* digest, unsigned int* length) {
  DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) {
    return false;
  }
  unsigned char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    if (EVP_DigestUpdate(context.get(), buffer, static_cast<size_t>(n)) != 1) {
      return false;
    }
  }
  return EVP_DigestFinal_ex(context.get(), digest, length) == 1;
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

bool md5_of_file(const std::string& path, std::string* digest) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  unsigned char bytes[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!fd.valid() || !digest_fd(fd.get(), bytes, &length)) return false;
  static constexpr char kHex[] = "0123456789abcdef";
  digest->clear();
  for (unsigned int i = 0; i < length; ++i) {
    digest->push_back(kHex[bytes[i] >> 4]);
    digest->push_back(kHex[bytes[i] & 0x0f]);
  }
  return true;
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
    if (!md5_of_file(line.path, &actual) || actual != line.digest) return false;
  }
  return true;
}

}  // namespace kvo::sim
