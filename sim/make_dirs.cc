#include "make_dirs.h"

#include <sys/stat.h>

#include <string>

namespace kvo::sim {

bool make_dirs(const char* path) {
  if (path == nullptr || *path == '\0') return false;
  std::string text(path);
  // Whether each step succeeds does not matter: a parent may exist already
  // or be made by someone else meanwhile. Only the end result counts.
  for (size_t slash = text.find('/', 1); slash != std::string::npos;
       slash = text.find('/', slash + 1)) {
    ::mkdir(text.substr(0, slash).c_str(), 0755);
  }
  ::mkdir(path, 0755);
  struct stat info;
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace kvo::sim
