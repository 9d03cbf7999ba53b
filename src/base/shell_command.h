// Shell commands, run through system() so that they block the loop and
// ignore SIGINT as the device's service always has.
#ifndef KVO_BASE_SHELL_COMMAND_H_
#define KVO_BASE_SHELL_COMMAND_H_

#include <string>

namespace kvo {

// Runs `command` with system(); 0 on success, otherwise its status
// unconverted (a wait status, or -1 without a shell).
int run_command(const std::string& command);

// The same, announced first as "Exec:<command>" at LOG_DEBUG so that a
// device's syslog shows what was attempted.
int exec_command(const std::string& command);

}  // namespace kvo

#endif  // KVO_BASE_SHELL_COMMAND_H_
