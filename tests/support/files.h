// Real files and shell commands, made and inspected the way a shell user
// would: the common steps of tests on the simulated platform and on the
// device's folders.
#ifndef KVO_TESTS_SUPPORT_FILES_H_
#define KVO_TESTS_SUPPORT_FILES_H_

#include <gtest/gtest.h>
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace kvo {

// Runs `command` through the shell; its standard output. Fails the test
// when the command does.
inline std::string shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "popen failed: " << command;
    return output;
  }
  char buffer[4096];
  size_t read;
  while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    output.append(buffer, read);
  }
  EXPECT_EQ(pclose(pipe), 0) << command;
  return output;
}

inline void write_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// The names in a directory; empty when it cannot be read.
inline std::set<std::string> names_in(const std::string& dir) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

}  // namespace kvo

#endif  // KVO_TESTS_SUPPORT_FILES_H_
