#include "support/sim_dir.h"

#include <json/reader.h>
#include <json/writer.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kvo {
namespace fs = std::filesystem;

SimDir::SimDir() {
  std::string pattern = (fs::temp_directory_path() / "kvo-sim-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
  setenv("KVO_SIM_DIR", path_.c_str(), 1);
}

SimDir::~SimDir() {
  unsetenv("KVO_SIM_DIR");
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void SimDir::write(const std::string& relative,
                   const std::string& content) const {
  fs::path target = fs::path(path_) / relative;
  fs::create_directories(target.parent_path());
  fs::path temporary = target;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
  }
  fs::rename(temporary, target);
}

std::string SimDir::read(const std::string& relative) const {
  std::ifstream in(fs::path(path_) / relative, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

Json::Value parse_json(const std::string& text) {
  Json::Value root;
  std::istringstream in(text);
  std::string errors;
  if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors)) {
    throw std::runtime_error("not JSON: " + errors + text);
  }
  return root;
}

Json::Value SimDir::sysdb() const {
  const std::string text = read("sysdb.json");
  return text.empty() ? Json::Value(Json::objectValue) : parse_json(text);
}

void SimDir::set_key(const std::string& key, const char* namedb, int type,
                     const Json::Value& value) const {
  Json::Value root = sysdb();
  Json::Value entry(Json::objectValue);
  entry["namedb"] = namedb != nullptr ? Json::Value(namedb) : Json::Value();
  entry["type"] = type;
  entry["value"] = value;
  root[key] = entry;
  write("sysdb.json", Json::writeString(Json::StreamWriterBuilder(), root));
}

void SimDir::set_command(const std::string& name,
                         const Json::Value& doc) const {
  write("cmd/" + name + ".json",
        Json::writeString(Json::StreamWriterBuilder(), doc));
}

}  // namespace kvo
