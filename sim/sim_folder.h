// The folder that holds every file of the simulated platform: $KVO_SIM_DIR,
// or /run/kvo-sim when unset. Read at every call so that a test or a tool
// can switch folders while the process runs.
#ifndef KVO_SIM_SIM_FOLDER_H_
#define KVO_SIM_SIM_FOLDER_H_

#include <string>

namespace kvo::sim {

std::string folder();

// Path of `name` inside the folder.
std::string folder_file(const std::string& name);

// The path of one fixed file of the folder, built again only when the
// folder changes: the platform functions ask for it at every call.
class FolderFile {
 public:
  explicit FolderFile(const char* name) : name_(name) {}
  FolderFile(const FolderFile&) = delete;
  FolderFile& operator=(const FolderFile&) = delete;

  // Valid until the next call.
  const std::string& path();

 private:
  const char* name_;
  std::string folder_;
  std::string path_;
};

}  // namespace kvo::sim

#endif  // KVO_SIM_SIM_FOLDER_H_
