// Platform utility library: the clock, directories, archive extraction,
// checksum verification and flushing of file systems.
#ifndef KVO_PLATFORM_UTILS_H_
#define KVO_PLATFORM_UTILS_H_

#include <stdbool.h>
#include <stdint.h>

// A C library: its functions keep C linkage.
#ifdef __cplusplus
extern "C" {
#endif

// Current time in whole seconds; the one clock for every time the service
// stores or compares. `flags` is reserved and always 0.
uint32_t fwtime_s(int flags);

// Create `path` and any missing parents; 0 when the directory exists
// afterwards.
int kvo_mkdir_create_parents(const char* path);

// Unpack every member of the tar file at `tar` into `dir` under its member
// name; 0 when all were unpacked. Members that would land outside `dir`
// make the call fail.
int extract_tar_file_to_dir(const char* tar, const char* dir);

// Verify a checksum file in md5sum format (digest, two spaces, path) against
// the file it names; 0 on a match. `quiet` is reserved; the service passes
// false.
int check_md5(const char* md5_file, bool quiet);

// Flush file-system buffers to the storage media. `flags` is reserved and
// always 0.
int sync_to_fs(int flags);

#ifdef __cplusplus
}
#endif

#endif  // KVO_PLATFORM_UTILS_H_
