#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace kvo {
namespace {

LogSink& sink() {
  static LogSink installed;
  return installed;
}

}  // namespace

void log_open() { openlog("stats", 0, LOG_LOCAL0); }

void log_printf(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (!sink()) {
    vsyslog(priority, format, args);
  } else {
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) {
      std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    sink()(priority, text);
  }
  va_end(args);
}

void set_log_sink(LogSink new_sink) { sink() = std::move(new_sink); }

}  // namespace kvo
