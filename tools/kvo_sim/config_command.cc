// config: installs or removes the document that the service fetches as
// "system.data_logger".
#include <unistd.h>

#include "file_io.h"
#include "json_text.h"
#include "kvo_sim/commands.h"

namespace kvo::sim_cli {
namespace {

constexpr char kConfig[] = "cmd/system.data_logger.json";

// The bytes of FILE, or of stdin for "-"; false after a message.
bool read_source(const std::string& source, std::string* bytes) {
  if (source == "-") {
    if (sim::read_all(STDIN_FILENO, bytes)) return true;
    failed("cannot read stdin");
    return false;
  }
  sim::FileContents contents = sim::read_contents(source);
  if (contents.state != sim::FileState::kRead) {
    failed("cannot read " + source);
    return false;
  }
  *bytes = std::move(contents.bytes);
  return true;
}

}  // namespace

int run_config(const Args& args) {
  CommandLine parsed;
  if (!parse_args("config", args, {{{"remove", 'r', false}}, 0, 1}, &parsed)) {
    return kExitUsage;
  }
  if (parsed.has("remove")) {
    if (!parsed.positional.empty()) {
      return usage_error("config: --remove takes no file");
    }
    return remove_folder_file(kConfig);
  }
  if (parsed.positional.empty()) return usage_error("config: give a file");
  const std::string& source = parsed.positional[0];
  std::string bytes;
  if (!read_source(source, &bytes)) return kExitFailed;
  Json::Value document;
  std::string error;
  if (!sim::parse_json(bytes, &document, &error)) {
    return failed(source + " is not valid JSON: " + error);
  }
  return write_folder_file(kConfig, bytes);
}

}  // namespace kvo::sim_cli
