#include "base/shell_command.h"

#include <cstdlib>

#include "base/log.h"

namespace kvo {

int run_command(const std::string& command) {
  return std::system(command.c_str());
}

int exec_command(const std::string& command) {
  log_printf(LOG_DEBUG, "Exec:%s", command.c_str());
  return run_command(command);
}

}  // namespace kvo
