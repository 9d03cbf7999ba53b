#include "sim_folder.h"

#include <cstdlib>

namespace kvo::sim {

namespace {

const char* folder_text() {
  const char* dir = std::getenv("KVO_SIM_DIR");
  return dir != nullptr && *dir != '\0' ? dir : "/run/kvo-sim";
}

}  // namespace

std::string folder() { return folder_text(); }

std::string folder_file(const std::string& name) {
  return folder() + "/" + name;
}

const std::string& FolderFile::path() {
  const char* dir = folder_text();
  if (path_.empty() || folder_ != dir) {
    folder_ = dir;
    path_ = folder_ + "/" + name_;
  }
  return path_;
}

}  // namespace kvo::sim
