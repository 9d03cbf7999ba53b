// The texts of a double: the "%f" text (optional minus sign, integer part,
// point, six decimals, rounded), which both the stored samples and the log
// lines use, and the shortest text that reads back as the same double,
// which the simulated platform's JSON files and kvo-archive's exports use.
// std::to_chars gives the same correctly rounded digits as printf's "%f"
// at a fraction of its cost; printf still spells what has no digits.
#ifndef KVO_BASE_NUMBER_TEXT_H_
#define KVO_BASE_NUMBER_TEXT_H_

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

namespace kvo {

// Room for the longest "%f" of a double: sign, 309 digits, point, 6
// decimals, and a terminating NUL.
inline constexpr size_t kFixedTextSize = 320;

// Writes the "%f" text of `value` and a NUL into `text`; returns its length.
inline size_t fixed_text(double value, char (&text)[kFixedTextSize]) {
  if (!std::isfinite(value)) {
    const int length = std::snprintf(text, kFixedTextSize, "%f", value);
    return length > 0 ? static_cast<size_t>(length) : 0;
  }
  const std::to_chars_result end = std::to_chars(
      text, text + kFixedTextSize - 1, value, std::chars_format::fixed, 6);
  *end.ptr = '\0';
  return static_cast<size_t>(end.ptr - text);
}

// Appends the shortest text that reads back as the finite `value`, with a
// point or an exponent always ("2.0", not "2"), so that it reads back as a
// double, not an integer.
inline void append_shortest_text(double value, std::string* out) {
  char text[32];
  char* end = std::to_chars(text, text + sizeof(text), value).ptr;
  const size_t start = out->size();
  out->append(text, end);
  if (out->find_first_of(".e", start) == std::string::npos) out->append(".0");
}

}  // namespace kvo

#endif  // KVO_BASE_NUMBER_TEXT_H_
