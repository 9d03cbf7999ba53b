#include "base/md5_digest.h"

#include <errno.h>
#include <fcntl.h>
#include <md5.h>
#include <unistd.h>

#include <cstdint>

#include "base/unique_fd.h"

namespace kvo {
namespace {

std::string hex_of(MD5_CTX* context) {
  uint8_t digest[MD5_DIGEST_LENGTH];
  MD5Final(digest, context);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * MD5_DIGEST_LENGTH);
  for (uint8_t byte : digest) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 0x0f];
  }
  return hex;
}

}  // namespace

std::string md5_hex(const void* data, size_t size) {
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, static_cast<const uint8_t*>(data), size);
  return hex_of(&context);
}

bool md5_file_hex(const std::string& path, std::string* hex) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  MD5_CTX context;
  MD5Init(&context);
  uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    MD5Update(&context, buffer, static_cast<size_t>(n));
  }
  *hex = hex_of(&context);
  return true;
}

}  // namespace kvo
