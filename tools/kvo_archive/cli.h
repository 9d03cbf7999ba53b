// What the kvo-archive commands share: exit codes, messages on stderr,
// option parsing and aligned tables on stdout.
#ifndef KVO_TOOLS_KVO_ARCHIVE_CLI_H_
#define KVO_TOOLS_KVO_ARCHIVE_CLI_H_

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kvo::archive_tool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // Something is not good, or unreadable.
constexpr int kExitUsage = 2;   // The command line is wrong.

using Args = std::vector<std::string>;

// "kvo-archive: <message>" on stderr; return kExitFailed or kExitUsage.
int failed(const std::string& message);
int usage_error(const std::string& message);

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> options;
  bool help = false;

  // The option's value, or `fallback` when it was not given.
  std::string value(const std::string& option,
                    const std::string& fallback) const;
};

// Splits `args`: "-h"/"--help", options in `valued` with a value ("--key K"
// or "--key=K", repeatable only if in `repeatable`), positional arguments.
// False after a usage message naming `command`.
bool parse_args(const std::string& command, const Args& args,
                const std::set<std::string>& valued,
                const std::set<std::string>& repeatable, ParsedArgs* parsed);

// Rows of cells printed as columns, two spaces apart.
class Table {
 public:
  explicit Table(std::vector<std::string> header);
  void add(std::vector<std::string> row);
  void print() const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_CLI_H_
