// The command-line parsing that kvo-archive and kvo-sim share, on
// getopt_long as the service parses its own: long options ("--format csv",
// "--format=csv"), short ones ("-f csv", "-fcsv"), "--" ending the options;
// and the choice of the command that the first positional word names.
#ifndef KVO_TOOLS_COMMAND_OPTIONS_H_
#define KVO_TOOLS_COMMAND_OPTIONS_H_

#include <map>
#include <string>
#include <vector>

namespace kvo::tools {

struct OptionSpec {
  const char* name;  // The long name, without "--".
  char short_name;   // 0: a long option only.
  bool has_value;
  bool repeatable = false;
};

struct CommandLine {
  std::vector<std::string> positional;
  // By long name: each value given, in order; a flag given has one "".
  std::map<std::string, std::vector<std::string>> options;

  bool has(const std::string& name) const { return options.count(name) != 0; }
  // The last value given, or `fallback`.
  std::string value(const std::string& name,
                    const std::string& fallback = "") const;
};

enum class OptionPlace {
  // Options anywhere among the positional arguments, also where the
  // environment sets POSIXLY_CORRECT.
  kAnywhere,
  // Options only before the first positional argument, which with all after
  // it is positional: a program's options before its command.
  kBeforeCommand,
};

// Parses `args` (without the program's name) by `specs`. An argument such
// as -5 or -1.5 is a number, positional or an option's value, never an
// option. False, with the reason in `*error`, for an unknown option, a
// missing or unexpected value, or an option given twice that is not
// repeatable.
bool parse_command_line(const std::vector<std::string>& args,
                        const std::vector<OptionSpec>& specs, OptionPlace place,
                        CommandLine* parsed, std::string* error);

// A command of a tool: its name, and what runs it on the arguments after
// the name, giving the exit status.
struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
};

// Runs the command of `commands` that `words[0]` names on the words after
// it; with no words or an unknown name, gives `usage_error` of the reason.
int run_command(const std::vector<std::string>& words,
                const std::vector<Command>& commands,
                int (*usage_error)(const std::string& message));

}  // namespace kvo::tools

#endif  // KVO_TOOLS_COMMAND_OPTIONS_H_
