// What was parsed from one file of the folder, parsed again only when the
// file changed (see WatchedFile).
#ifndef KVO_SIM_CACHED_FILE_H_
#define KVO_SIM_CACHED_FILE_H_

#include <string>

#include "watched_file.h"

namespace kvo::sim {

template <typename T>
class CachedFile {
 public:
  using Parser = T (*)(const FileContents& contents);

  explicit CachedFile(Parser parse) : parse_(parse) {}
  CachedFile(const CachedFile&) = delete;
  CachedFile& operator=(const CachedFile&) = delete;

  // The parse of the file at `path` as it is now. The reference stays valid
  // until the next call.
  const T& get(const std::string& path) {
    FileContents contents;
    if (file_.refresh(path, &contents)) value_ = parse_(contents);
    return value_;
  }

 private:
  Parser parse_;
  WatchedFile file_;
  T value_{};
};

}  // namespace kvo::sim

#endif  // KVO_SIM_CACHED_FILE_H_
