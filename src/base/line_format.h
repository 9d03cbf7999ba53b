// Formatting of log lines. The service writes a few debug lines per key and
// cycle, so the conversions those lines use (%s, %d, %u, %lld, %llu, %f,
// %lf, %%) are done here without vsnprintf's per-call overhead; a format
// with anything else (flags, widths, other conversions) goes to vsnprintf
// whole. The bytes are those vsnprintf gives either way.
#ifndef KVO_BASE_LINE_FORMAT_H_
#define KVO_BASE_LINE_FORMAT_H_

#include <cstdarg>
#include <string>

namespace kvo {

// Appends `format` with `args` to `*out`; `args` is consumed.
void append_formatted(std::string* out, const char* format, va_list args);

}  // namespace kvo

#endif  // KVO_BASE_LINE_FORMAT_H_
