#include "archive/restore_query.h"

namespace kvo {

std::string last_row_query(const std::string& columns, const std::string& key) {
  return "SELECT " + columns + " FROM data WHERE key=" + key +
         " ORDER BY rowid DESC LIMIT 1";
}

}  // namespace kvo
