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
                const ArgSpec& shape, CommandLine* parsed) {
  std::string error;
  if (!tools::parse_command_line(
          args, shape.options, tools::OptionPlace::kAnywhere, parsed, &error)) {
    usage_error(command + ": " + error);
    return false;
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
