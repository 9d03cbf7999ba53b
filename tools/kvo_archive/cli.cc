#include "kvo_archive/cli.h"

#include <algorithm>
#include <iostream>
#include <utility>

namespace kvo::archive_tool {

int failed(const std::string& message) {
  std::cerr << "kvo-archive: " << message << "\n";
  return kExitFailed;
}

int usage_error(const std::string& message) {
  std::cerr << "kvo-archive: " << message << " (see kvo-archive --help)\n";
  return kExitUsage;
}

std::string ParsedArgs::value(const std::string& option,
                              const std::string& fallback) const {
  auto found = options.find(option);
  return found == options.end() ? fallback : found->second.back();
}

bool parse_args(const std::string& command, const Args& args,
                const std::set<std::string>& valued,
                const std::set<std::string>& repeatable, ParsedArgs* parsed) {
  bool options_end = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      parsed->positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      parsed->help = true;
      continue;
    }
    size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    if (valued.count(name) == 0) {
      usage_error(command + ": unknown option " + arg);
      return false;
    }
    std::vector<std::string>& values = parsed->options[name];
    if (!values.empty() && repeatable.count(name) == 0) {
      usage_error(command + ": " + name + " given twice");
      return false;
    }
    if (equals != std::string::npos) {
      values.push_back(arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      values.push_back(args[++i]);
    } else {
      usage_error(command + ": " + name + " needs a value");
      return false;
    }
  }
  return true;
}

Table::Table(std::vector<std::string> header) {
  rows_.push_back(std::move(header));
}

void Table::add(std::vector<std::string> row) {
  rows_.push_back(std::move(row));
}

void Table::print() const {
  std::vector<size_t> widths;
  for (const auto& row : rows_) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  for (const auto& row : rows_) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size())
        line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    std::cout << line << "\n";
  }
}

}  // namespace kvo::archive_tool
