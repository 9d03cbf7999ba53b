// kvo-archive: looks into the archive files and working databases of
// kvo-data-logger pulled off a device, and exports their rows.
#include <exception>
#include <iostream>
#include <string>

#include "kvo_archive/commands.h"
#include "tool_version.h"

namespace kvo::archive_tool {
namespace {

constexpr char kUsage[] =
    R"(Usage: kvo-archive [-h|--help] [-V|--version] COMMAND [ARGUMENTS]

Looks into kvo-data-logger's archive files (/var/data/kvo/archive/NAME/N.tar)
and working databases (/var/volatile/kvo/NAME.db) without changing them:
nothing is unpacked to disk and nothing is written.

Commands:
  list [-f FORMAT] DIR...
                       every archive in the folders: state, rows, keys,
                       first and last sample time, and the one the
                       service's start-up would load
  verify [-f FORMAT] FILE...
                       one line per archive file: its state, judged as
                       start-up judges an archive
  dump FILE|DB [OPTIONS]
                       every row as CSV or JSON Lines (see dump --help)
  last [-f FORMAT] FILE|DB
                       per key, the value start-up would restore

FORMAT: text (the default), csv (RFC 4180, a header line) or json (one
array of objects). FILE or DB - reads standard input. Options may follow
the arguments; -- ends them. Only regular files are read: a FIFO, device
or socket is refused without waiting on it. On a terminal, control
characters from archives show as escapes (\n, \x1b).

Run kvo-archive COMMAND --help for a command's options.

Exit status: 0 success (every archive good), 1 some archive is not good or
a file cannot be read, 2 wrong usage.
)";

int run(const Args& args) {
  CommandLine parsed;
  std::string error;
  if (!tools::parse_command_line(
          args, {{"help", 'h', false}, {"version", 'V', false}},
          tools::OptionPlace::kBeforeCommand, &parsed, &error)) {
    return usage_error(error);
  }
  if (parsed.has("help")) {
    std::cout << kUsage;
    return kExitOk;
  }
  if (parsed.has("version")) {
    std::cout << "kvo-archive " << tools::kVersion << "\n";
    return kExitOk;
  }
  return tools::run_command(parsed.positional,
                            {{"list", run_list},
                             {"verify", run_verify},
                             {"dump", run_dump},
                             {"last", run_last}},
                            usage_error);
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
