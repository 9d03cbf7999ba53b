#include "files/shell_command.h"

#include <cstdlib>

#include "service/log.h"

namespace kvo {

int exec_command(const std::string& command) {
  log_printf(LOG_DEBUG, "Exec:%s", command.c_str());
  return std::system(command.c_str());
}

}  // namespace kvo
