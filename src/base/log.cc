#include "base/log.h"

#include <strings.h>

#include <cstdarg>
#include <cstdlib>
#include <utility>

#include "base/line_format.h"

namespace kvo {
namespace {

// Checked before anything is formatted; syslog keeps its own copy.
int level_mask = LOG_UPTO(LOG_DEBUG);

// One buffer for every line, so that a line costs no allocation. A rare
// long line (a failed batch with its whole text) does not keep its room.
constexpr size_t kKeptCapacity = 4096;

LogSink& sink() {
  static LogSink installed;
  return installed;
}

std::string& line() {
  static std::string buffer;
  return buffer;
}

}  // namespace

void log_open() {
  openlog("stats", 0, LOG_LOCAL0);
  int level = LOG_DEBUG;
  const char* name = std::getenv("KVO_LOG_LEVEL");
  if (name == nullptr || !log_level_named(name, &level)) level = LOG_DEBUG;
  log_set_level(level);
}

void log_set_level(int level) {
  level_mask = LOG_UPTO(level);
  setlogmask(level_mask);
}

bool log_level_named(const char* name, int* level) {
  static constexpr const char* kNames[] = {
      "emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};
  if (name[0] >= '0' && name[0] <= '7' && name[1] == '\0') {
    *level = name[0] - '0';
    return true;
  }
  for (int i = 0; i <= LOG_DEBUG; ++i) {
    if (strcasecmp(name, kNames[i]) == 0) {
      *level = i;
      return true;
    }
  }
  return false;
}

void log_printf(int priority, const char* format, ...) {
  if ((LOG_MASK(LOG_PRI(priority)) & level_mask) == 0) return;
  std::string& text = line();
  text.clear();
  va_list args;
  va_start(args, format);
  append_formatted(&text, format, args);
  va_end(args);
  if (sink()) {
    sink()(priority, text);
  } else {
    syslog(priority, "%s", text.c_str());
  }
  if (text.capacity() > kKeptCapacity) std::string().swap(text);
}

void set_log_sink(LogSink new_sink) { sink() = std::move(new_sink); }

}  // namespace kvo
