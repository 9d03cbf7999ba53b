// What the kvo-archive commands share: exit codes, messages on stderr,
// lines on stdout, option parsing and output formats.
#ifndef KVO_TOOLS_KVO_ARCHIVE_CLI_H_
#define KVO_TOOLS_KVO_ARCHIVE_CLI_H_

#include <string>
#include <vector>

#include "command_options.h"

namespace kvo::archive_tool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // Something is not good, or unreadable.
constexpr int kExitUsage = 2;   // The command line is wrong.

using Args = std::vector<std::string>;
using tools::CommandLine;
using tools::OptionSpec;

enum class Format { kText, kCsv, kJsonl, kJson };

inline constexpr OptionSpec kFormatOption = {"format", 'f', true};

// "kvo-archive: <message>" on stderr; return kExitFailed or kExitUsage.
// As every line the tool prints, with control characters escaped: names
// and texts from archives are trusted in nothing.
int failed(const std::string& message);
int usage_error(const std::string& message);
void warn(const std::string& message);

// `line` on stdout, escaped.
void print_line(const std::string& line);

// Parses a command's arguments by `specs` and -h/--help, options anywhere
// among the positional arguments. False after a usage message naming
// `command`.
bool parse_args(const std::string& command, const Args& args,
                std::vector<OptionSpec> specs, CommandLine* parsed);

// The --format of `parsed`, one of `allowed`, the first when none is
// given. False after a usage message naming `command`.
bool parse_format(const std::string& command, const CommandLine& parsed,
                  const std::vector<Format>& allowed, Format* format);

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_CLI_H_
