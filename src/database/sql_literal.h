// Carrying texts inside SQL string literals.
#ifndef KVO_DATABASE_SQL_LITERAL_H_
#define KVO_DATABASE_SQL_LITERAL_H_

#include <string>

namespace kvo {

// `text` with every apostrophe doubled, ready to stand between two
// apostrophes as one SQL string literal; nothing else changes.
inline std::string sql_quote(const std::string& text) {
  std::string quoted;
  quoted.reserve(text.size());
  for (char c : text) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted;
}

}  // namespace kvo

#endif  // KVO_DATABASE_SQL_LITERAL_H_
