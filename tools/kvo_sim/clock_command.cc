// clock: shows the simulated time or moves it through clock_offset.
#include <cstdint>
#include <iostream>

#include "clock_offset.h"
#include "file_io.h"
#include "integer_text.h"
#include "kvo_sim/commands.h"
#include "platform/utils.h"
#include "sim_folder.h"

namespace kvo::sim_cli {
namespace {

constexpr char kClockOffset[] = "clock_offset";

// The offset in the file now; false, after a message, when the file is
// unreadable or holds no offset.
bool current_offset(int64_t* offset) {
  std::string path = sim::folder_file(kClockOffset);
  sim::FileContents contents = sim::read_contents(path);
  *offset = 0;
  if (contents.state == sim::FileState::kMissing) return true;
  if (contents.state == sim::FileState::kRead &&
      sim::parse_clock_offset(contents.bytes, offset)) {
    return true;
  }
  failed(path + " holds no offset in seconds");
  return false;
}

int show_time() {
  int64_t offset = 0;
  if (!current_offset(&offset)) {
    std::cerr << "kvo-sim: the platform ignores it; fwtime_s is real time\n";
  }
  std::cout << fwtime_s(0) << "\n";
  return kExitOk;
}

}  // namespace

int run_clock(const Args& args) {
  CommandLine parsed;
  if (!parse_args("clock", args, {{{"reset", 'r', false}}, 0, 1}, &parsed)) {
    return kExitUsage;
  }
  if (parsed.has("reset")) {
    if (!parsed.positional.empty()) {
      return usage_error("clock: --reset takes no value");
    }
    return remove_folder_file(kClockOffset);
  }
  if (parsed.positional.empty()) return show_time();
  const std::string& text = parsed.positional[0];
  int64_t seconds = 0;
  if (!sim::parse_int64(text, &seconds)) {
    return usage_error("clock: " + text + " is not a number of seconds");
  }
  int64_t offset = seconds;
  bool relative = text[0] == '+' || text[0] == '-';
  if (relative) {
    int64_t current = 0;
    if (!current_offset(&current)) return kExitFailed;
    if (__builtin_add_overflow(current, seconds, &offset)) {
      return failed("clock: the offset would overflow");
    }
  }
  return write_folder_file(kClockOffset, std::to_string(offset) + "\n");
}

}  // namespace kvo::sim_cli
