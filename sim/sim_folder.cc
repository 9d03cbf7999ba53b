#include "sim_folder.h"

#include <cstdlib>

namespace kvo::sim {

std::string folder() {
  const char* dir = std::getenv("KVO_SIM_DIR");
  return dir != nullptr && *dir != '\0' ? dir : "/run/kvo-sim";
}

std::string folder_file(const std::string& name) {
  return folder() + "/" + name;
}

}  // namespace kvo::sim
