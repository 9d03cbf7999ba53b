// check_md5 on a host: verification of checksum files in the form md5sum
// writes (archive/checksum_file.h), any number of lines. A relative path
// is taken from the current directory, as md5sum -c does.
#ifndef KVO_SIM_MD5_CHECK_H_
#define KVO_SIM_MD5_CHECK_H_

namespace kvo::sim {

// True when the checksum file at `md5_file` is well formed and every file it
// names has the digest recorded for it.
bool md5_file_verifies(const char* md5_file);

}  // namespace kvo::sim

#endif  // KVO_SIM_MD5_CHECK_H_
