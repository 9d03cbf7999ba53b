// The service's only output channel: syslog, opened with the identity
// "stats" and the facility LOG_LOCAL0. Tests capture every line through a
// sink instead.
#ifndef KVO_BASE_LOG_H_
#define KVO_BASE_LOG_H_

#include <syslog.h>

#include <functional>
#include <string>

namespace kvo {

// Opens the system log the way a device expects to see the service, and
// takes the production log level from $KVO_LOG_LEVEL (see log_level_named);
// unset, empty or unknown, every line is logged.
void log_open();

// Drops every line less urgent than `level` (LOG_EMERG ... LOG_DEBUG) from
// now on, before it is formatted, on the syslog and on the sink path alike.
void log_set_level(int level);

// The level a name gives ("emerg", "alert", "crit", "err", "warning",
// "notice", "info", "debug", as syslog.conf spells them, or a digit 0-7).
bool log_level_named(const char* name, int* level);

// Writes one line at `priority` (LOG_ALERT ... LOG_DEBUG), printf-style.
void log_printf(int priority, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Receives each line instead of syslog while installed. Meant for tests;
// an empty sink restores syslog.
using LogSink = std::function<void(int priority, const std::string& text)>;
void set_log_sink(LogSink sink);

}  // namespace kvo

#endif  // KVO_BASE_LOG_H_
