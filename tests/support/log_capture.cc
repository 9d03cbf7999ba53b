#include "support/log_capture.h"

#include <algorithm>

#include "base/log.h"

namespace kvo {

LogCapture::LogCapture() {
  set_log_sink([this](int priority, const std::string& text) {
    lines_.push_back({priority, text});
  });
}

LogCapture::~LogCapture() { set_log_sink(nullptr); }

std::vector<std::string> LogCapture::texts(int priority) const {
  std::vector<std::string> out;
  for (const LogLine& line : lines_) {
    if (priority < 0 || line.priority == priority) out.push_back(line.text);
  }
  return out;
}

int LogCapture::count(const std::string& text) const {
  return static_cast<int>(
      std::count_if(lines_.begin(), lines_.end(),
                    [&](const LogLine& line) { return line.text == text; }));
}

}  // namespace kvo
