// JSON text of the folder's files, in and out. Parsing is strict (no
// comments, nothing after the value) and never throws, whatever the bytes;
// writing gives every double in the shortest form that reads back to the
// same value, and keeps a double a double ("2.0", not "2").
#ifndef KVO_SIM_JSON_TEXT_H_
#define KVO_SIM_JSON_TEXT_H_

#include <json/value.h>

#include <string>

namespace kvo::sim {

// Replaces `*value` when `text` is one valid JSON value; otherwise leaves it
// untouched and, when `error` is given, says why.
bool parse_json(const std::string& text, Json::Value* value,
                std::string* error = nullptr);

// `value` as JSON text: on one line, or indented by two spaces a level.
// Strings are written byte for byte (UTF-8 stays as it is); a double that
// is not finite, which JSON cannot hold, is written as null.
std::string json_text(const Json::Value& value, bool indented);

}  // namespace kvo::sim

#endif  // KVO_SIM_JSON_TEXT_H_
