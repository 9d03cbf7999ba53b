// Whether a file system can take more files: what tells a store that is
// full (or read-only, or gone) from a file that is at fault itself.
#ifndef KVO_BASE_STORAGE_ROOM_H_
#define KVO_BASE_STORAGE_ROOM_H_

#include <cstdint>
#include <string>

namespace kvo {

// 0 when a file of `bytes` can be written into the folder `dir` now, proven
// by reserving that much in an unnamed file that is gone again on return.
// Else the errno that says why not (ENOSPC, EROFS, EIO, ENOENT, ...), or
// EFBIG when the file system is smaller than `bytes` altogether and so will
// never take them.
int storage_room(const std::string& dir, uint64_t bytes);

// The same question answered from the file system's counters alone, at the
// cost of one system call: true when it is writable and has `bytes` and an
// inode free.
bool storage_has_free(const std::string& dir, uint64_t bytes);

}  // namespace kvo

#endif  // KVO_BASE_STORAGE_ROOM_H_
