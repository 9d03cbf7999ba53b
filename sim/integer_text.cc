#include "integer_text.h"

#include <charconv>

namespace kvo::sim {

bool parse_int64(std::string_view text, int64_t* value) {
  // from_chars takes a minus but no plus sign.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;
  }
  int64_t parsed = 0;
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, parsed);
  if (error != std::errc() || ptr != end) return false;
  *value = parsed;
  return true;
}

}  // namespace kvo::sim
