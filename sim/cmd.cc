// The command library over the folder's cmd/<name>.json documents.
#include "platform/cmd.h"

#include <string>

#include "exported.h"
#include "file_io.h"
#include "json_text.h"
#include "platform_call.h"
#include "sim_folder.h"

namespace {

// A name is one file name inside cmd/, so it can reach no other file.
bool valid_name(const char* name) {
  if (name == nullptr) return false;
  std::string text(name);
  return !text.empty() && text != "." && text != ".." &&
         text.find('/') == std::string::npos;
}

}  // namespace

KVO_SIM_EXPORTED int cmd_get_value_json(const char* name, Json::Value* value) {
  // Read afresh at every call: the service asks only when it (re)configures,
  // and a parse kept between calls would hold a second copy of a document
  // the caller keeps anyway.
  return kvo::sim::platform_call("cmd_get_value_json", -1, [&] {
    if (!valid_name(name) || value == nullptr) return -1;
    const kvo::sim::FileContents contents = kvo::sim::read_contents(
        kvo::sim::folder_file("cmd/" + std::string(name) + ".json"));
    Json::Value parsed;
    if (contents.state != kvo::sim::FileState::kRead ||
        !kvo::sim::parse_json(contents.bytes, &parsed)) {
      return -1;
    }
    value->swap(parsed);
    return 0;
  });
}
