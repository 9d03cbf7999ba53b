// What the kvo-sim commands share: exit codes scripts rely on, messages on
// stderr, argument parsing and writing the folder's files atomically.
#ifndef KVO_TOOLS_KVO_SIM_CLI_H_
#define KVO_TOOLS_KVO_SIM_CLI_H_

#include <string>
#include <vector>

#include "command_options.h"

namespace kvo::sim_cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // The operation failed.
constexpr int kExitUsage = 2;   // The command line is wrong.

using Args = std::vector<std::string>;

// Print "kvo-sim: <message>" on stderr and return kExitFailed or kExitUsage.
int failed(const std::string& message);
int usage_error(const std::string& message);

using tools::CommandLine;

struct ArgSpec {
  std::vector<tools::OptionSpec> options;
  size_t min_positional = 0;
  size_t max_positional = 0;
};

// Splits a command's arguments; options may stand anywhere among the
// positional ones. A negative number (clock -30, set KEY -5) is positional;
// so is everything after a bare "--". False, after a message naming
// `command`, for an unknown or repeated option, a missing option value or a
// wrong number of positional arguments.
bool parse_args(const std::string& command, const Args& args,
                const ArgSpec& shape, CommandLine* parsed);

// Replace or remove `relative` in the folder, creating missing folders; an
// exit code, after a message on failure. Removing a missing file succeeds.
int write_folder_file(const std::string& relative, const std::string& content);
int remove_folder_file(const std::string& relative);

}  // namespace kvo::sim_cli

#endif  // KVO_TOOLS_KVO_SIM_CLI_H_
