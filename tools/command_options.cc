#include "command_options.h"

#include <getopt.h>

#include <set>

namespace kvo::tools {
namespace {

// The code getopt_long returns for a long-only option: above every byte.
constexpr int kLongOnlyCode = 256;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_negative_number(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-' &&
         (is_digit(arg[1]) ||
          (arg[1] == '.' && arg.size() > 2 && is_digit(arg[2])));
}

int code_of(const std::vector<OptionSpec>& specs, size_t i) {
  return specs[i].short_name != 0 ? specs[i].short_name
                                  : kLongOnlyCode + static_cast<int>(i);
}

// The index of the option whose code is `code`, or specs.size().
size_t spec_of(const std::vector<OptionSpec>& specs, int code) {
  size_t i = 0;
  while (i < specs.size() && code_of(specs, i) != code) ++i;
  return i;
}

}  // namespace

std::string CommandLine::value(const std::string& name,
                               const std::string& fallback) const {
  auto found = options.find(name);
  return found == options.end() ? fallback : found->second.back();
}

bool parse_command_line(const std::vector<std::string>& args,
                        const std::vector<OptionSpec>& specs, OptionPlace place,
                        CommandLine* parsed, std::string* error) {
  // "-": every argument comes back in order (positional ones as code 1),
  // whatever POSIXLY_CORRECT says; "+": the scan stops at the first
  // positional one. ":": a missing value is told apart, and no message.
  std::string short_options = place == OptionPlace::kAnywhere ? "-:" : "+:";
  std::vector<option> long_options;
  for (size_t i = 0; i < specs.size(); ++i) {
    if (specs[i].short_name != 0) {
      short_options += specs[i].short_name;
      if (specs[i].has_value) short_options += ':';
    }
    long_options.push_back(
        {specs[i].name, specs[i].has_value ? required_argument : no_argument,
         nullptr, code_of(specs, i)});
  }
  long_options.push_back({nullptr, 0, nullptr, 0});
  // A negative number goes in without its sign, so that getopt_long cannot
  // take it for an option, and gets it back when it comes out.
  std::vector<std::string> texts = args;
  std::set<const char*> unsigned_numbers;
  static char program[] = "kvo";
  std::vector<char*> argv = {program};
  for (std::string& text : texts) {
    argv.push_back(&text[is_negative_number(text) ? 1 : 0]);
    if (is_negative_number(text)) unsigned_numbers.insert(argv.back());
  }
  auto original = [&](const char* text) {
    return std::string(unsigned_numbers.count(text) ? text - 1 : text);
  };
  const int argc = static_cast<int>(argv.size());
  argv.push_back(nullptr);
  opterr = 0;
  optind = 0;  // Starts a new scan, with the mode of `short_options`.
  int code;
  while ((code = getopt_long(argc, argv.data(), short_options.c_str(),
                             long_options.data(), nullptr)) != -1) {
    if (code == 1) {
      parsed->positional.push_back(original(optarg));
      continue;
    }
    size_t i = spec_of(specs, code == ':' || code == '?' ? optopt : code);
    std::string name = i < specs.size() ? std::string("--") + specs[i].name
                       : optopt != 0    ? std::string("-") + char(optopt)
                                        : std::string(argv[optind - 1]);
    if (code == ':' || code == '?') {
      *error = code == ':'        ? name + " needs a value"
               : i < specs.size() ? name + " takes no value"
                                  : "unknown option " + name;
      return false;
    }
    std::vector<std::string>& values = parsed->options[specs[i].name];
    if (!values.empty() && !specs[i].repeatable) {
      *error = name + " given twice";
      return false;
    }
    values.push_back(specs[i].has_value ? original(optarg) : "");
  }
  for (int i = optind; i < argc; ++i) {
    parsed->positional.push_back(original(argv[i]));
  }
  return true;
}

int run_command(const std::vector<std::string>& words,
                const std::vector<Command>& commands,
                int (*usage_error)(const std::string& message)) {
  if (words.empty()) return usage_error("no command given");
  for (const Command& command : commands) {
    if (words[0] == command.name) {
      return command.run(
          std::vector<std::string>(words.begin() + 1, words.end()));
    }
  }
  return usage_error("unknown command " + words[0]);
}

}  // namespace kvo::tools
