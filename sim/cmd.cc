// The command library over the folder's cmd/<name>.json documents.
#include "platform/cmd.h"

#include <map>
#include <memory>
#include <string>

#include "cached_file.h"
#include "json_text.h"
#include "platform_call.h"
#include "sim_folder.h"

namespace {

using kvo::sim::CachedFile;
using kvo::sim::FileContents;
using kvo::sim::FileState;

struct Document {
  bool valid = false;
  Json::Value value;
};

Document parse_document(const FileContents& contents) {
  Document document;
  document.valid = contents.state == FileState::kRead &&
                   kvo::sim::parse_json(contents.bytes, &document.value);
  return document;
}

// A name is one file name inside cmd/, so it can reach no other file.
bool valid_name(const char* name) {
  if (name == nullptr) return false;
  std::string text(name);
  return !text.empty() && text != "." && text != ".." &&
         text.find('/') == std::string::npos;
}

}  // namespace

int cmd_get_value_json(const char* name, Json::Value* value) {
  // One cache a name: the service asks for the same few names all the time.
  static std::map<std::string, std::unique_ptr<CachedFile<Document>>> cache;
  return kvo::sim::platform_call("cmd_get_value_json", -1, [&] {
    if (!valid_name(name) || value == nullptr) return -1;
    std::unique_ptr<CachedFile<Document>>& file = cache[name];
    if (!file) file = std::make_unique<CachedFile<Document>>(parse_document);
    const Document& document =
        file->get(kvo::sim::folder_file("cmd/" + std::string(name) + ".json"));
    if (!document.valid) return -1;
    *value = document.value;
    return 0;
  });
}
