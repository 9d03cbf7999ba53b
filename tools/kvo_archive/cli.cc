#include "kvo_archive/cli.h"

#include <iostream>
#include <utility>

#include "kvo_archive/text_escape.h"

namespace kvo::archive_tool {
namespace {

constexpr const char* kFormatNames[] = {"text", "csv", "jsonl", "json"};

const char* format_name(Format format) {
  return kFormatNames[static_cast<int>(format)];
}

}  // namespace

int failed(const std::string& message) {
  std::cerr << "kvo-archive: " << terminal_text(message) << "\n";
  return kExitFailed;
}

int usage_error(const std::string& message) {
  std::cerr << "kvo-archive: " << terminal_text(message)
            << " (see kvo-archive --help)\n";
  return kExitUsage;
}

void warn(const std::string& message) {
  std::cerr << "kvo-archive: warning: " << terminal_text(message) << "\n";
}

void print_line(const std::string& line) {
  std::cout << terminal_text(line) << "\n";
}

bool parse_args(const std::string& command, const Args& args,
                std::vector<OptionSpec> specs, CommandLine* parsed) {
  specs.push_back({"help", 'h', false});
  std::string error;
  if (tools::parse_command_line(args, specs, tools::OptionPlace::kAnywhere,
                                parsed, &error)) {
    return true;
  }
  usage_error(command + ": " + error);
  return false;
}

bool parse_format(const std::string& command, const CommandLine& parsed,
                  const std::vector<Format>& allowed, Format* format) {
  const std::string name = parsed.value("format", format_name(allowed[0]));
  std::string names;
  for (Format candidate : allowed) {
    if (name == format_name(candidate)) {
      *format = candidate;
      return true;
    }
    names += std::string(names.empty() ? "" : "|") + format_name(candidate);
  }
  usage_error(command + ": --format is " + names + ", not " + name);
  return false;
}

}  // namespace kvo::archive_tool
