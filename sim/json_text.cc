#include "json_text.h"

#include <json/reader.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "base/number_text.h"

namespace kvo::sim {
namespace {

void append_string(const char* begin, const char* end, std::string* out) {
  out->push_back('"');
  for (const char* p = begin; p != end; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    switch (c) {
      case '"':
        *out += "\\\"";
        break;
      case '\\':
        *out += "\\\\";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\t':
        *out += "\\t";
        break;
      case '\r':
        *out += "\\r";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          *out += escaped;
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
  }
  out->push_back('"');
}

void append_double(double value, std::string* out) {
  if (std::isfinite(value)) {
    append_shortest_text(value, out);
  } else {
    *out += "null";
  }
}

void append_value(const Json::Value& value, bool indented, int depth,
                  std::string* out);

void append_newline(bool indented, int depth, std::string* out) {
  if (!indented) return;
  out->push_back('\n');
  out->append(2 * static_cast<size_t>(depth), ' ');
}

void append_container(const Json::Value& value, bool indented, int depth,
                      std::string* out) {
  bool object = value.isObject();
  out->push_back(object ? '{' : '[');
  bool first = true;
  for (auto it = value.begin(); it != value.end(); ++it) {
    if (!first) out->push_back(',');
    first = false;
    append_newline(indented, depth + 1, out);
    if (object) {
      std::string name = it.name();
      append_string(name.data(), name.data() + name.size(), out);
      *out += indented ? ": " : ":";
    }
    append_value(*it, indented, depth + 1, out);
  }
  if (!first) append_newline(indented, depth, out);
  out->push_back(object ? '}' : ']');
}

void append_value(const Json::Value& value, bool indented, int depth,
                  std::string* out) {
  switch (value.type()) {
    case Json::nullValue:
      *out += "null";
      break;
    case Json::booleanValue:
      *out += value.asBool() ? "true" : "false";
      break;
    case Json::intValue:
      *out += std::to_string(value.asLargestInt());
      break;
    case Json::uintValue:
      *out += std::to_string(value.asLargestUInt());
      break;
    case Json::realValue:
      append_double(value.asDouble(), out);
      break;
    case Json::stringValue: {
      // getString leaves these alone for a string that was never given
      // any text, which is the empty string.
      const char* begin = "";
      const char* end = begin;
      value.getString(&begin, &end);
      append_string(begin, end, out);
      break;
    }
    case Json::arrayValue:
    case Json::objectValue:
      append_container(value, indented, depth, out);
      break;
  }
}

}  // namespace

bool parse_json(const std::string& text, Json::Value* value,
                std::string* error) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  // A document may be any JSON value, not only an object or an array.
  builder.settings_["strictRoot"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value parsed;
  std::string errors;
  try {
    // JsonCpp throws rather than reports some errors, such as nesting
    // deeper than its stack limit.
    if (!reader->parse(text.data(), text.data() + text.size(), &parsed,
                       &errors)) {
      if (error != nullptr) *error = errors;
      return false;
    }
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return false;
  }
  value->swap(parsed);
  return true;
}

std::string json_text(const Json::Value& value, bool indented) {
  std::string out;
  append_value(value, indented, 0, &out);
  return out;
}

}  // namespace kvo::sim
