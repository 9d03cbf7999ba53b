// kvo-sim: controls the simulated platform that kvo-data-logger runs
// against on a host, for people and scripts, while the service runs.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "fail_list.h"
#include "kvo_sim/commands.h"

namespace kvo::sim_cli {
namespace {

constexpr char kUsage[] = R"(Usage: kvo-sim [--dir DIR] COMMAND [ARGUMENTS]

Controls the simulated platform of kvo-data-logger: the files in DIR
(default: $KVO_SIM_DIR, else /run/kvo-sim). Every file is replaced
atomically, so the service may run meanwhile.

Commands:
  init [--force]       create DIR with a simulated vehicle (power state 0);
                       --force replaces an existing sysdb.json
  set KEY VALUE [--type N] [--db NAME|null]
                       set a key's value: VALUE as JSON when it is JSON
                       (12, 1.5, true, '"text"'), else as a string; a new key
                       needs --type (2 integer, 3 double, 4 text) and --db;
                       an existing key keeps the type and db not given
  get KEY              print the key's value as JSON
  list                 print every key: name, namedb, type, value (tabs)
  power N              set the power state: SYS_STATE_INT in SYS
  config FILE|-        install FILE (- for stdin), which must be JSON, as the
                       document the service fetches as system.data_logger
  config --remove      remove that document
  clock                print the simulated time (fwtime_s)
  clock +N|-N          move the clock offset by N seconds
  clock N              set the clock offset to N seconds
  clock --reset        remove the clock offset
  fail                 list the platform functions made to fail
  fail FUNC            make FUNC fail until unfail
  unfail FUNC          make FUNC work again
  fail --clear         make every function work again

FUNC is one of:)";

constexpr char kUsageEnd[] = R"(

Options:
  --dir DIR            the simulated platform's folder
  -h, --help           print this help

Exit status: 0 success, 1 the operation failed, 2 wrong usage.
)";

struct Command {
  const char* name;
  int (*run)(const Args& args);
};

constexpr Command kCommands[] = {
    {"init", run_init},   {"set", run_set},     {"get", run_get},
    {"list", run_list},   {"power", run_power}, {"config", run_config},
    {"clock", run_clock}, {"fail", run_fail},   {"unfail", run_unfail},
};

int print_usage() {
  std::cout << kUsage;
  for (size_t i = 0; i < sim::kFailableFunctions.size(); ++i) {
    std::cout << (i % 3 == 0 ? "\n    " : " ") << sim::kFailableFunctions[i];
  }
  std::cout << kUsageEnd;
  return kExitOk;
}

int run(Args args) {
  // Set for the platform functions that the commands call, too.
  if (!args.empty() &&
      (args[0] == "--dir" || args[0].compare(0, 6, "--dir=") == 0)) {
    std::string dir;
    if (args[0] != "--dir") {
      dir = args[0].substr(6);
      args.erase(args.begin());
    } else if (args.size() > 1) {
      dir = args[1];
      args.erase(args.begin(), args.begin() + 2);
    }
    if (dir.empty()) return usage_error("--dir needs a folder");
    ::setenv("KVO_SIM_DIR", dir.c_str(), 1);
  }
  if (args.empty()) return usage_error("no command given");
  // Help only in the command's place: after a command, "-h" may be a value
  // that a script means to store.
  if (args[0] == "-h" || args[0] == "--help") return print_usage();
  for (const Command& command : kCommands) {
    if (args[0] == command.name) {
      return command.run(Args(args.begin() + 1, args.end()));
    }
  }
  return usage_error("unknown command " + args[0]);
}

}  // namespace
}  // namespace kvo::sim_cli

int main(int argc, char** argv) {
  try {
    return kvo::sim_cli::run(kvo::sim_cli::Args(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    return kvo::sim_cli::failed(e.what());
  }
}
