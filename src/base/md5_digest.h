// MD5 digests as md5sum prints them: 32 lower-case hexadecimal digits.
// The one home of the MD5 code of the simulated platform and kvo-archive,
// built on libmd, a library of a few kB.
#ifndef KVO_BASE_MD5_DIGEST_H_
#define KVO_BASE_MD5_DIGEST_H_

#include <cstddef>
#include <string>

namespace kvo {

// The digest of `size` bytes at `data`.
std::string md5_hex(const void* data, size_t size);

// The digest of the file at `path`; false when it cannot be read.
bool md5_file_hex(const std::string& path, std::string* hex);

}  // namespace kvo

#endif  // KVO_BASE_MD5_DIGEST_H_
