// A private simulated-platform folder for one test: created empty, named by
// $KVO_SIM_DIR while in scope, removed afterwards.
#ifndef KVO_TESTS_SUPPORT_SIM_DIR_H_
#define KVO_TESTS_SUPPORT_SIM_DIR_H_

#include <json/value.h>

#include <string>

namespace kvo {

// The value of a JSON text; throws when it is not one.
Json::Value parse_json(const std::string& text);

class SimDir {
 public:
  SimDir();
  ~SimDir();

  SimDir(const SimDir&) = delete;
  SimDir& operator=(const SimDir&) = delete;

  const std::string& path() const { return path_; }

  // Replaces `relative` atomically (temporary file and rename), creating
  // parent folders, as another process writing the folder would.
  void write(const std::string& relative, const std::string& content) const;
  std::string read(const std::string& relative) const;

  // Adds or replaces one key of sysdb.json. A null `namedb` stores JSON null.
  void set_key(const std::string& key, const char* namedb, int type,
               const Json::Value& value) const;
  Json::Value sysdb() const;
  // Installs the document that cmd_get_value_json(name) returns.
  void set_command(const std::string& name, const Json::Value& doc) const;

 private:
  std::string path_;
};

}  // namespace kvo

#endif  // KVO_TESTS_SUPPORT_SIM_DIR_H_
