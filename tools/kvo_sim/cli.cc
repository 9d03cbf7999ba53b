#include "kvo_sim/cli.h"

#include <errno.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "file_io.h"
#include "make_dirs.h"
#include "sim_folder.h"

namespace kvo::sim_cli {

int failed(const std::string& message) {
  std::cerr << "kvo-sim: " << message << "\n";
  return kExitFailed;
}

int usage_error(const std::string& message) {
  std::cerr << "kvo-sim: " << message << " (see kvo-sim --help)\n";
  return kExitUsage;
}

bool parse_args(const std::string& command, const Args& args,
                const ArgSpec& shape, ParsedArgs* parsed) {
  bool options_end = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_end || arg.compare(0, 2, "--") != 0) {
      parsed->positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    std::string value;
    if (shape.valued.count(name) != 0) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        usage_error(command + ": " + name + " needs a value");
        return false;
      }
    } else if (shape.flags.count(name) == 0 || equals != std::string::npos) {
      usage_error(command + ": unknown option " + arg);
      return false;
    }
    if (!parsed->options.emplace(name, value).second) {
      usage_error(command + ": " + name + " given twice");
      return false;
    }
  }
  size_t count = parsed->positional.size();
  if (count < shape.min_positional || count > shape.max_positional) {
    usage_error(command + ": wrong number of arguments");
    return false;
  }
  return true;
}

int write_folder_file(const std::string& relative, const std::string& content) {
  std::string path = sim::folder_file(relative);
  std::string parent = path.substr(0, path.rfind('/'));
  if (!sim::make_dirs(parent.c_str())) {
    return failed("cannot create the folder " + parent);
  }
  std::string error;
  if (!sim::write_file_atomically(path, content, &error)) return failed(error);
  return kExitOk;
}

int remove_folder_file(const std::string& relative) {
  std::string path = sim::folder_file(relative);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    return failed("cannot remove " + path + ": " + std::strerror(errno));
  }
  return kExitOk;
}

}  // namespace kvo::sim_cli
