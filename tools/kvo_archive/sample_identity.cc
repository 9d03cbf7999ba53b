#include "kvo_archive/sample_identity.h"

#include <charconv>
#include <cstring>

#include "kvo_archive/row_format.h"

namespace kvo::archive_tool {
namespace {

// Appends a text so that no two different sequences of texts give the
// same bytes: its length before it, and null apart from the empty text.
void append_part(std::string* out, const char* text, size_t size) {
  if (text == nullptr) {
    out->push_back('-');
    return;
  }
  char length[24];
  out->append(length, std::to_chars(length, length + sizeof(length), size).ptr);
  out->push_back(':');
  out->append(text, size);
}

void append_column_part(std::string* out, sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  append_part(out, reinterpret_cast<const char*>(text),
              static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

template <typename T>
void append_bytes(std::string* out, T value) {
  char bytes[sizeof(value)];
  std::memcpy(bytes, &value, sizeof(value));
  out->append(bytes, sizeof(bytes));
}

}  // namespace

SampleIdentity::Numbers SampleIdentity::next(sqlite3_stmt* statement) {
  sample_.clear();
  append_column_part(&sample_, statement, 1);
  if (last_ == nullptr || sample_ != last_stored_time_) {
    last_stored_time_ = sample_;
    const char* ts =
        reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
    std::string time = iso_time(ts ? ts : "");
    sample_.clear();
    append_part(&sample_, ts ? time.data() : nullptr, time.size());
    last_ = &times_[sample_];
  }
  // Short, so that most keys of rows_of_sample need no memory of their own:
  // the key's number, the type, the value's bytes.
  sample_.clear();
  append_column_part(&sample_, statement, 2);
  auto key = key_numbers_.emplace(sample_, key_numbers_.size()).first;
  sample_.clear();
  append_bytes(&sample_, key->second);
  int type = sqlite3_column_type(statement, 3);
  sample_.push_back(static_cast<char>(type));
  if (type == SQLITE_INTEGER) {
    append_bytes(&sample_, sqlite3_column_int64(statement, 3));
  } else if (type == SQLITE_FLOAT) {
    append_bytes(&sample_, sqlite3_column_double(statement, 3));
  } else if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
    const void* bytes =
        type == SQLITE_TEXT
            ? static_cast<const void*>(sqlite3_column_text(statement, 3))
            : sqlite3_column_blob(statement, 3);
    sample_.append(static_cast<const char*>(bytes),
                   static_cast<size_t>(sqlite3_column_bytes(statement, 3)));
  }
  Numbers numbers;
  numbers.pos = ++last_->rows;
  numbers.n = ++last_->rows_of_sample[sample_];
  return numbers;
}

}  // namespace kvo::archive_tool
