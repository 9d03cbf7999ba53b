// Carrying texts inside SQL string literals.
#ifndef KVO_BASE_SQL_LITERAL_H_
#define KVO_BASE_SQL_LITERAL_H_

#include <string>

namespace kvo {

// The body of one SQL string literal for `text`: every apostrophe doubled,
// and nothing from the first NUL byte on. Key names and texts are C strings
// on the device, and sqlite3_exec would stop reading a statement there.
// The first form appends the body to `*out`.
inline void append_sql_quoted(std::string* out, const std::string& text) {
  for (char c : text) {
    if (c == '\0') break;
    if (c == '\'') *out += '\'';
    *out += c;
  }
}

inline std::string sql_quote(const std::string& text) {
  std::string quoted;
  quoted.reserve(text.size());
  append_sql_quoted(&quoted, text);
  return quoted;
}

}  // namespace kvo

#endif  // KVO_BASE_SQL_LITERAL_H_
