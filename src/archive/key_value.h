// How sampling and log forwarding read the value of one key out of what the
// system database returns, so that both treat odd values the same way.
#ifndef KVO_ARCHIVE_KEY_VALUE_H_
#define KVO_ARCHIVE_KEY_VALUE_H_

#include <json/value.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "archive/archive_key.h"

namespace kvo {

// The member of `read` named `name`, as sysdb_namedb_read_json returns it,
// or null when `read` is not an object or has no such member. Looks up
// without inserting and without copying.
inline const Json::Value* key_member(const Json::Value& read,
                                     const std::string& name) {
  if (!read.isObject()) return nullptr;
  return read.find(name.data(), name.data() + name.size());
}

// True for the JSON kinds that carry a number (booleans are not among them).
inline bool is_number(const Json::Value& value) {
  const Json::ValueType type = value.type();
  return type == Json::intValue || type == Json::uintValue ||
         type == Json::realValue;
}

// `number` with its fraction cut off toward zero, when that fits a signed
// 32-bit integer. False for anything else, nan and infinities included: the
// conversion has no meaningful result for them.
inline bool to_int32(double number, int32_t* result) {
  if (!(number > -2147483649.0 && number < 2147483648.0)) return false;
  *result = static_cast<int32_t>(number);
  return true;
}

// The number a value is stored as: booleans as 1 or 0 whatever the key's
// type, numbers of integer keys through a 32-bit integer. False when the
// value is stored as text or not at all. A number that is not finite, or
// that does not fit an integer key, has no truthful SQL literal; storing a
// stand-in would later be restored into a total as if it were real.
inline bool stored_number(const Json::Value& value, uint16_t key_type,
                          double* number) {
  if (value.isBool()) {
    *number = value.asBool() ? 1.0 : 0.0;
    return true;
  }
  if (!is_number(value)) return false;
  const double raw = value.asDouble();
  if (key_type != KEY_TYPE_INT) {
    *number = raw;
    return std::isfinite(raw);
  }
  int32_t integer;
  if (!to_int32(raw, &integer)) return false;
  *number = integer;
  return true;
}

}  // namespace kvo

#endif  // KVO_ARCHIVE_KEY_VALUE_H_
