#include "base/line_format.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "base/number_text.h"

namespace kvo {
namespace {

// The conversion at `directive` (just after a '%'): its letter, or 0 when it is
// not one of those handled here. `*length` counts the 'l's before it.
char conversion(const char* directive, int* length) {
  *length = 0;
  while (directive[*length] == 'l' && *length < 2) ++*length;
  const char c = directive[*length];
  switch (c) {
    case 's':
    case '%':
      return *length == 0 ? c : 0;
    case 'f':
      return *length <= 1 ? c : 0;
    case 'd':
    case 'u':
      return *length != 1 ? c : 0;
    default:
      return 0;
  }
}

void append_by_vsnprintf(std::string* out, const char* format, va_list args) {
  char text[256];
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(text, sizeof(text), format, measure);
  va_end(measure);
  if (length <= 0) return;
  if (static_cast<size_t>(length) < sizeof(text)) {
    out->append(text, static_cast<size_t>(length));
    return;
  }
  const size_t start = out->size();
  out->resize(start + static_cast<size_t>(length));
  std::vsnprintf(&(*out)[start], static_cast<size_t>(length) + 1, format, args);
}

// Writes the line into `text` (`size` bytes) and its length into
// `*length`; false when the format needs vsnprintf or the line is longer.
bool format_here(char* text, size_t size, const char* format, va_list args,
                 size_t* length) {
  char* out = text;
  char* const end = text + size;
  // Room for the longest integer, so that to_chars cannot run short.
  constexpr ptrdiff_t kIntegerRoom = 24;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      if (out == end) return false;
      *out++ = *p;
      continue;
    }
    int l;
    const char c = conversion(p + 1, &l);
    p += l + 1;
    if (c == 's') {
      const char* arg = va_arg(args, const char*);
      if (arg == nullptr) arg = "(null)";
      const size_t n = std::strlen(arg);
      if (n > static_cast<size_t>(end - out)) return false;
      std::memcpy(out, arg, n);
      out += n;
    } else if (c == 'd' || c == 'u') {
      if (end - out < kIntegerRoom) return false;
      if (c == 'd') {
        out = l == 2 ? std::to_chars(out, end, va_arg(args, long long)).ptr
                     : std::to_chars(out, end, va_arg(args, int)).ptr;
      } else {
        out =
            l == 2
                ? std::to_chars(out, end, va_arg(args, unsigned long long)).ptr
                : std::to_chars(out, end, va_arg(args, unsigned)).ptr;
      }
    } else if (c == 'f') {
      char number[kFixedTextSize];
      const size_t n = fixed_text(va_arg(args, double), number);
      if (n > static_cast<size_t>(end - out)) return false;
      std::memcpy(out, number, n);
      out += n;
    } else if (c == '%') {
      if (out == end) return false;
      *out++ = '%';
    } else {
      return false;
    }
  }
  *length = static_cast<size_t>(out - text);
  return true;
}

}  // namespace

void append_formatted(std::string* out, const char* format, va_list args) {
  // Kept untouched for a line that turns out to need vsnprintf.
  va_list whole;
  va_copy(whole, args);
  char text[512];
  size_t length;
  if (format_here(text, sizeof(text), format, args, &length)) {
    out->append(text, length);
  } else {
    append_by_vsnprintf(out, format, whole);
  }
  va_end(whole);
}

}  // namespace kvo
