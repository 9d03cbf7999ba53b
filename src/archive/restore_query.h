// Which row start-up restores a key's value from: of the rows of the key,
// the one with the largest rowid, the youngest sample. The one home of
// that rule, for the service's restore and for kvo-archive's account of
// what start-up restores.
#ifndef KVO_ARCHIVE_RESTORE_QUERY_H_
#define KVO_ARCHIVE_RESTORE_QUERY_H_

#include <string>

namespace kvo {

// The query that yields `columns` (SQL, such as "value") of that row of the
// key that the SQL expression `key` names: a string literal, or a
// parameter "?". No row when the key has none.
std::string last_row_query(const std::string& columns, const std::string& key);

}  // namespace kvo

#endif  // KVO_ARCHIVE_RESTORE_QUERY_H_
