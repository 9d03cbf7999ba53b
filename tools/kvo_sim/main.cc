// kvo-sim: controls the simulated platform that kvo-data-logger runs
// against on a host, for people and scripts, while the service runs.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "fail_list.h"
#include "kvo_sim/commands.h"
#include "tool_version.h"

namespace kvo::sim_cli {
namespace {

constexpr char kUsage[] = R"(Usage: kvo-sim [-d DIR] COMMAND [ARGUMENTS]

Controls the simulated platform of kvo-data-logger: the files in DIR
(default: $KVO_SIM_DIR, else /run/kvo-sim). Every file is replaced
atomically, so the service may run meanwhile.

Commands:
  init [-f|--force]    create DIR with a simulated vehicle (power state 0);
                       --force replaces an existing sysdb.json
  set KEY VALUE [-t|--type N] [-D|--db NAME|null]
                       set a key's value: VALUE as JSON when it is JSON
                       (12, -5, 1.5, true, '"text"'), else as a string; a
                       new key needs --type (2 integer, 3 double, 4 text)
                       and --db; an existing key keeps the type and db not
                       given
  get KEY              print the key's value as JSON
  list                 print every key: name, namedb, type, value (tabs)
  power N              set the power state: SYS_STATE_INT in SYS
  config FILE|-        install FILE (- for stdin), which must be JSON, as the
                       document the service fetches as system.data_logger
  config -r|--remove   remove that document
  clock                print the simulated time (fwtime_s)
  clock +N|-N          move the clock offset by N seconds
  clock N              set the clock offset to N seconds
  clock -r|--reset     remove the clock offset
  fail                 list the platform functions made to fail
  fail FUNC            make FUNC fail until unfail
  unfail FUNC          make FUNC work again
  fail -c|--clear      make every function work again

FUNC is one of:)";

constexpr char kUsageEnd[] = R"(

Options go before the command; a command's options may also follow its
arguments. A negative number (-5, -1.5) is a value, never an option; any
other value that begins with "-" goes after "--" (set KEY -- -text).

Options:
  -d, --dir DIR        the simulated platform's folder
  -h, --help           print this help
  -V, --version        print the version

Exit status: 0 success, 1 the operation failed, 2 wrong usage.
)";

int print_usage() {
  std::cout << kUsage;
  for (size_t i = 0; i < sim::kFailableFunctions.size(); ++i) {
    std::cout << (i % 3 == 0 ? "\n    " : " ") << sim::kFailableFunctions[i];
  }
  std::cout << kUsageEnd;
  return kExitOk;
}

int run(const Args& args) {
  CommandLine parsed;
  std::string error;
  if (!tools::parse_command_line(
          args,
          {{"dir", 'd', true}, {"help", 'h', false}, {"version", 'V', false}},
          tools::OptionPlace::kBeforeCommand, &parsed, &error)) {
    return usage_error(error);
  }
  if (parsed.has("help")) return print_usage();
  if (parsed.has("version")) {
    std::cout << "kvo-sim " << tools::kVersion << "\n";
    return kExitOk;
  }
  if (parsed.has("dir")) {
    if (parsed.value("dir").empty()) return usage_error("--dir needs a folder");
    // Set for the platform functions that the commands call, too.
    ::setenv("KVO_SIM_DIR", parsed.value("dir").c_str(), 1);
  }
  return tools::run_command(parsed.positional,
                            {{"init", run_init},
                             {"set", run_set},
                             {"get", run_get},
                             {"list", run_list},
                             {"power", run_power},
                             {"config", run_config},
                             {"clock", run_clock},
                             {"fail", run_fail},
                             {"unfail", run_unfail}},
                            usage_error);
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
