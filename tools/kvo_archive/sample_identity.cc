#include "kvo_archive/sample_identity.h"

#include "kvo_archive/row_format.h"

namespace kvo::archive_tool {
namespace {

// Appends a field so that no two different sequences of fields give the
// same text: its length before it, and null apart from the empty text.
void append_part(std::string* out, const char* text, size_t size) {
  if (text == nullptr) {
    out->push_back('-');
    return;
  }
  out->append(std::to_string(size));
  out->push_back(':');
  out->append(text, size);
}

}  // namespace

SampleIdentity::Numbers SampleIdentity::next(sqlite3_stmt* statement) {
  const char* ts =
      reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
  std::string time = iso_time(ts ? ts : "");
  std::string sample;
  append_part(&sample, ts ? time.data() : nullptr, time.size());
  Numbers numbers;
  numbers.pos = ++rows_of_time_[sample];
  append_part(&sample,
              reinterpret_cast<const char*>(sqlite3_column_text(statement, 2)),
              static_cast<size_t>(sqlite3_column_bytes(statement, 2)));
  int type = sqlite3_column_type(statement, 3);
  sample += type_name(type);
  std::string value = value_text(statement, 3);
  append_part(&sample, type == SQLITE_NULL ? nullptr : value.data(),
              value.size());
  numbers.n = ++rows_of_sample_[sample];
  return numbers;
}

}  // namespace kvo::archive_tool
