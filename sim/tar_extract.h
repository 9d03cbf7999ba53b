// Unpacking of the service's archive files for extract_tar_file_to_dir.
//
// Only regular files are unpacked, each into `dir` under its bare member
// name with its permission bits masked by 0755; one leading "./" is
// dropped and a member "./" (the folder itself) is skipped. Any other
// member refuses the whole archive: a name that is absolute, holds ".." or
// any other "/", a directory, a symbolic or hard link, a device node, a
// fifo. So does a truncated archive or a file that is not a tar archive.
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
