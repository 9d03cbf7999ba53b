// Shell commands of the archive files subsystem, announced in the log
// before they run so that a device's syslog shows what was attempted.
#ifndef KVO_FILES_SHELL_COMMAND_H_
#define KVO_FILES_SHELL_COMMAND_H_

#include <string>

namespace kvo {

// Logs "Exec:<command>" at LOG_DEBUG, then runs `command` with system();
// returns its status unconverted (a wait status, or -1 without a shell).
int exec_command(const std::string& command);

}  // namespace kvo

#endif  // KVO_FILES_SHELL_COMMAND_H_
