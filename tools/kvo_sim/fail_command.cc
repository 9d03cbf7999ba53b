// fail and unfail: edit the list of platform functions made to fail.
#include <algorithm>
#include <iostream>

#include "fail_list.h"
#include "file_io.h"
#include "kvo_sim/commands.h"
#include "sim_folder.h"

namespace kvo::sim_cli {
namespace {

constexpr char kFail[] = "fail";

int unknown_function(const std::string& name) {
  if (name == "fwtime_s") {
    return usage_error("fwtime_s cannot fail: it has no failure value");
  }
  std::string known;
  for (const char* function : sim::kFailableFunctions) {
    known += std::string(" ") + function;
  }
  return usage_error("unknown function " + name + "; one of:" + known);
}

// The names listed now; false, after a message, when the file is
// unreadable.
bool load(std::vector<std::string>* names) {
  std::string path = sim::folder_file(kFail);
  sim::FileContents contents = sim::read_contents(path);
  if (contents.state == sim::FileState::kUnreadable) {
    failed("cannot read " + path);
    return false;
  }
  *names = sim::parse_fail_list(contents.bytes);
  return true;
}

int save(const std::vector<std::string>& names) {
  if (names.empty()) return remove_folder_file(kFail);
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  return write_folder_file(kFail, text);
}

}  // namespace

int run_fail(const Args& args) {
  CommandLine parsed;
  if (!parse_args("fail", args, {{{"clear", 'c', false}}, 0, 1}, &parsed)) {
    return kExitUsage;
  }
  if (parsed.has("clear")) {
    if (!parsed.positional.empty()) {
      return usage_error("fail: --clear takes no function");
    }
    return remove_folder_file(kFail);
  }
  std::vector<std::string> names;
  if (parsed.positional.empty()) {
    if (!load(&names)) return kExitFailed;
    for (const std::string& name : names) std::cout << name << "\n";
    return kExitOk;
  }
  const std::string& function = parsed.positional[0];
  if (!sim::is_failable(function)) return unknown_function(function);
  if (!load(&names)) return kExitFailed;
  if (std::find(names.begin(), names.end(), function) != names.end()) {
    return kExitOk;
  }
  names.push_back(function);
  return save(names);
}

int run_unfail(const Args& args) {
  CommandLine parsed;
  if (!parse_args("unfail", args, {{}, 1, 1}, &parsed)) return kExitUsage;
  const std::string& function = parsed.positional[0];
  if (!sim::is_failable(function)) return unknown_function(function);
  std::vector<std::string> names;
  if (!load(&names)) return kExitFailed;
  names.erase(std::remove(names.begin(), names.end(), function), names.end());
  return save(names);
}

}  // namespace kvo::sim_cli
