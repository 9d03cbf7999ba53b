// kvo-archive: looks into the archive files and working databases of
// kvo-data-logger pulled off a device, and exports their rows.
#include <exception>
#include <iostream>
#include <string>

#include "kvo_archive/commands.h"

namespace kvo::archive_tool {
namespace {

constexpr char kUsage[] = R"(Usage: kvo-archive COMMAND [ARGUMENTS]

Looks into kvo-data-logger's archive files (/var/data/kvo/archive/NAME/N.tar)
and working databases (/var/volatile/kvo/NAME.db) without changing them:
nothing is unpacked to disk and nothing is written.

Commands:
  list DIR...          every archive in the folders: state, rows, keys,
                       first and last sample time, and the one the
                       service's start-up would load
  verify FILE...       one line per archive file: its state, judged as
                       start-up judges it
  dump FILE|DB [OPTIONS]
                       every row as CSV or JSON Lines (see dump --help)
  last FILE|DB         per key, the value start-up would restore

Run kvo-archive COMMAND --help for a command's options.

Exit status: 0 success (every archive good), 1 some archive is not good or
a file cannot be read, 2 wrong usage.
)";

struct Command {
  const char* name;
  int (*run)(const Args& args);
};

constexpr Command kCommands[] = {{"list", run_list},
                                 {"verify", run_verify},
                                 {"dump", run_dump},
                                 {"last", run_last}};

int run(const Args& args) {
  if (args.empty()) return usage_error("no command given");
  if (args[0] == "-h" || args[0] == "--help") {
    std::cout << kUsage;
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (args[0] == command.name) {
      return command.run(Args(args.begin() + 1, args.end()));
    }
  }
  return usage_error("unknown command " + args[0]);
}

}  // namespace
}  // namespace kvo::archive_tool

int main(int argc, char** argv) {
  try {
    return kvo::archive_tool::run(
        kvo::archive_tool::Args(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    return kvo::archive_tool::failed(e.what());
  }
}
