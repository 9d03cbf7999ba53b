// Captures every line the service logs while in scope.
#ifndef KVO_TESTS_SUPPORT_LOG_CAPTURE_H_
#define KVO_TESTS_SUPPORT_LOG_CAPTURE_H_

#include <syslog.h>

#include <string>
#include <vector>

namespace kvo {

struct LogLine {
  int priority;
  std::string text;
  bool operator==(const LogLine& other) const {
    return priority == other.priority && text == other.text;
  }
};

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();

  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::vector<LogLine>& lines() const { return lines_; }
  // The texts alone, in order, optionally only those at `priority`.
  std::vector<std::string> texts(int priority = -1) const;
  // How many lines have exactly this text.
  int count(const std::string& text) const;
  void clear() { lines_.clear(); }

 private:
  std::vector<LogLine> lines_;
};

}  // namespace kvo

#endif  // KVO_TESTS_SUPPORT_LOG_CAPTURE_H_
