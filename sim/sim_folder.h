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

}  // namespace kvo::sim

#endif  // KVO_SIM_SIM_FOLDER_H_
