// The MD5 digest of an archive member, computed with the same library as the
// simulated platform's check_md5, so that both agree on every byte.
#ifndef KVO_TOOLS_KVO_ARCHIVE_MD5_DIGEST_H_
#define KVO_TOOLS_KVO_ARCHIVE_MD5_DIGEST_H_

#include <string>

namespace kvo::archive_tool {

// 32 lower-case hexadecimal digits; empty if the library fails, which then
// matches no recorded digest.
std::string md5_hex(const std::string& bytes);

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_MD5_DIGEST_H_
