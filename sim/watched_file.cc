#include "watched_file.h"

namespace kvo::sim {

bool WatchedFile::Stamp::operator==(const Stamp& other) const {
  return present == other.present && device == other.device &&
         inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec &&
         modified.tv_nsec == other.modified.tv_nsec;
}

WatchedFile::Stamp WatchedFile::stamp_of(const struct stat& info) {
  Stamp stamp;
  stamp.present = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.modified = info.st_mtim;
  return stamp;
}

bool WatchedFile::refresh(const std::string& path, FileContents* contents) {
  struct stat info;
  Stamp now;
  if (::stat(path.c_str(), &info) == 0) now = stamp_of(info);
  if (known_ && path == path_ && now == stamp_) return false;

  // The stamp kept is the one of the file actually read, taken before
  // reading it: a change made meanwhile then shows at the next call.
  *contents = read_contents(path, &info);
  path_ = path;
  known_ = contents->state != FileState::kUnreadable;
  stamp_ = contents->state == FileState::kRead ? stamp_of(info) : Stamp();
  return true;
}

}  // namespace kvo::sim
