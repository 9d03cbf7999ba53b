// One file of the folder that another process may replace at any time. The
// service asks many times a second, so an unchanged file costs one stat:
// the file is read again only when its path, inode, size or nanosecond
// modification time differ from the previous read. Writers replace files by
// rename, which gives the new content a new inode even within one clock
// tick.
#ifndef KVO_SIM_WATCHED_FILE_H_
#define KVO_SIM_WATCHED_FILE_H_

#include <sys/stat.h>

#include <string>

#include "file_io.h"

namespace kvo::sim {

class WatchedFile {
 public:
  WatchedFile() = default;
  WatchedFile(const WatchedFile&) = delete;
  WatchedFile& operator=(const WatchedFile&) = delete;

  // True, with `*contents` read afresh, when `path` is not the file of the
  // previous read or the file changed since; false when it is unchanged.
  // An unreadable file is read again at every call.
  bool refresh(const std::string& path, FileContents* contents);

 private:
  struct Stamp {
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified = {};

    bool operator==(const Stamp& other) const;
  };

  static Stamp stamp_of(const struct stat& info);

  bool known_ = false;
  std::string path_;
  Stamp stamp_;
};

}  // namespace kvo::sim

#endif  // KVO_SIM_WATCHED_FILE_H_
