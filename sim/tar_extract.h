// Unpacking of the service's archive files for extract_tar_file_to_dir.
//
// Members are taken, skipped or refuse the whole archive as
// archive/tar_member_rule.h says; each one taken is unpacked into `dir`
// under its bare name with its permission bits masked by 0755. A truncated
// archive or a file that is not a tar archive is refused as well.
//
// Nothing is written outside `dir`, and a refused archive changes nothing in
// it: members are unpacked into a private folder that mkdtemp makes in
// `dir` and renamed over their names only once the whole archive has been
// read, so no member name can reach another member's staged file. Renaming
// replaces a symbolic link planted in `dir` instead of following it. Only a
// failing rename (for example onto an existing directory of the member's
// name, which is checked before) could leave some members unpacked.
#ifndef KVO_SIM_TAR_EXTRACT_H_
#define KVO_SIM_TAR_EXTRACT_H_

namespace kvo::sim {

// True when every member of the tar file at `tar` is unpacked into the
// existing directory `dir`.
bool extract_tar(const char* tar, const char* dir);

}  // namespace kvo::sim

#endif  // KVO_SIM_TAR_EXTRACT_H_
