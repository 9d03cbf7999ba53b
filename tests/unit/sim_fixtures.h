// Small file helpers shared by the simulated platform's tests: real files
// made and inspected the way a shell user would.
#ifndef KVO_TESTS_UNIT_SIM_FIXTURES_H_
#define KVO_TESTS_UNIT_SIM_FIXTURES_H_

#include <dirent.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace kvo {

// Exit status of `command` run by the shell, or -1 when it did not exit.
inline int run_shell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void write_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// The file's content, or "(missing)" when it cannot be opened.
inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "(missing)";
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The names in a directory, without "." and "..".
inline std::set<std::string> entries_of(const std::string& path) {
  std::set<std::string> names;
  std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
  while (dirent* entry = dir ? ::readdir(dir.get()) : nullptr) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  return names;
}

}  // namespace kvo

#endif  // KVO_TESTS_UNIT_SIM_FIXTURES_H_
