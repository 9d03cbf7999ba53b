#include "kvo_archive/row_format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/number_text.h"
#include "kvo_archive/text_escape.h"

namespace kvo::archive_tool {
namespace {

constexpr size_t kFlushSize = 1 << 16;

bool is_stored_time(const std::string& t) {
  static constexpr char kShape[] = "dddd-dd-dd dd:dd:dd";
  if (t.size() != sizeof(kShape) - 1) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    bool digit = t[i] >= '0' && t[i] <= '9';
    if (kShape[i] == 'd' ? !digit : t[i] != kShape[i]) return false;
  }
  return true;
}

void append_integer(std::string* out, sqlite3_int64 value) {
  char text[24];
  auto end = std::to_chars(text, text + sizeof(text), value).ptr;
  out->append(text, end);
}

// Shortest text that reads back as the same double. Infinity, which JSON
// lacks, is written as a number that overflows to it when read.
void append_real(std::string* out, double value) {
  if (std::isinf(value)) {
    out->append(value > 0 ? "1e999" : "-1e999");
  } else {
    append_shortest_text(value, out);
  }
}

void append_hex(std::string* out, const unsigned char* bytes, size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < size; ++i) {
    out->push_back(kHex[bytes[i] >> 4]);
    out->push_back(kHex[bytes[i] & 0x0f]);
  }
}

void append_value(std::string* out, sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
      append_integer(out, sqlite3_column_int64(statement, column));
      break;
    case SQLITE_FLOAT:
      append_real(out, sqlite3_column_double(statement, column));
      break;
    case SQLITE_BLOB:
      append_hex(out,
                 static_cast<const unsigned char*>(
                     sqlite3_column_blob(statement, column)),
                 static_cast<size_t>(sqlite3_column_bytes(statement, column)));
      break;
    case SQLITE_TEXT:
      out->append(
          reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
          static_cast<size_t>(sqlite3_column_bytes(statement, column)));
      break;
  }
}

}  // namespace

std::string iso_time(const std::string& stored) {
  if (!is_stored_time(stored)) return stored;
  std::string iso = stored;
  iso[10] = 'T';
  return iso + "Z";
}

const char* type_name(int sqlite_type) {
  switch (sqlite_type) {
    case SQLITE_INTEGER:
      return "integer";
    case SQLITE_FLOAT:
      return "real";
    case SQLITE_TEXT:
      return "text";
    case SQLITE_BLOB:
      return "blob";
  }
  return "null";
}

std::string value_text(sqlite3_stmt* statement, int column) {
  std::string text;
  append_value(&text, statement, column);
  return text;
}

RowWriter::RowWriter(FILE* out, Format format, std::string device,
                     bool identity)
    : out_(out),
      format_(format),
      device_(std::move(device)),
      identity_(identity) {
  buffer_.reserve(2 * kFlushSize);
}

RowWriter::~RowWriter() { finish(); }

void RowWriter::begin() {
  if (format_ == Format::kJson) buffer_ += '[';
  if (format_ != Format::kCsv) return;
  if (!device_.empty()) buffer_ += "device,";
  buffer_ += identity_ ? "rowid,time,key,type,value,n,pos\r\n"
                       : "rowid,time,key,type,value\r\n";
}

void RowWriter::end() {
  if (format_ == Format::kJson) buffer_ += "\n]\n";
}

void RowWriter::write(sqlite3_stmt* statement,
                      const SampleIdentity::Numbers& numbers) {
  const char* ts =
      reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
  std::string time = iso_time(ts ? ts : "");
  const char* key =
      reinterpret_cast<const char*>(sqlite3_column_text(statement, 2));
  size_t key_size = static_cast<size_t>(sqlite3_column_bytes(statement, 2));
  int type = sqlite3_column_type(statement, 3);
  if (format_ == Format::kCsv) {
    if (!device_.empty()) {
      append_csv_field(&buffer_, device_.data(), device_.size());
      buffer_ += ',';
    }
    append_integer(&buffer_, sqlite3_column_int64(statement, 0));
    buffer_ += ',';
    if (ts) append_csv_field(&buffer_, time.data(), time.size());
    buffer_ += ',';
    if (key) append_csv_field(&buffer_, key, key_size);
    buffer_ += ',';
    buffer_ += type_name(type);
    buffer_ += ',';
    if (type == SQLITE_TEXT) {
      append_csv_field(
          &buffer_,
          reinterpret_cast<const char*>(sqlite3_column_text(statement, 3)),
          static_cast<size_t>(sqlite3_column_bytes(statement, 3)));
    } else {
      append_value(&buffer_, statement, 3);
    }
    if (identity_) {
      buffer_ += ',';
      append_integer(&buffer_, numbers.n);
      buffer_ += ',';
      append_integer(&buffer_, numbers.pos);
    }
    buffer_ += "\r\n";
  } else {
    if (format_ == Format::kJson) buffer_ += first_ ? "\n" : ",\n";
    first_ = false;
    buffer_ += '{';
    if (!device_.empty()) {
      buffer_ += "\"device\":";
      append_json_string(&buffer_, device_.data(), device_.size());
      buffer_ += ',';
    }
    buffer_ += "\"rowid\":";
    append_integer(&buffer_, sqlite3_column_int64(statement, 0));
    buffer_ += ",\"time\":";
    if (ts) {
      append_json_string(&buffer_, time.data(), time.size());
    } else {
      buffer_ += "null";
    }
    buffer_ += ",\"key\":";
    if (key) {
      append_json_string(&buffer_, key, key_size);
    } else {
      buffer_ += "null";
    }
    buffer_ += ",\"type\":\"";
    buffer_ += type_name(type);
    buffer_ += "\",\"value\":";
    if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
      std::string text = value_text(statement, 3);
      append_json_string(&buffer_, text.data(), text.size());
    } else if (type == SQLITE_NULL) {
      buffer_ += "null";
    } else {
      append_value(&buffer_, statement, 3);
    }
    if (identity_) {
      buffer_ += ",\"n\":";
      append_integer(&buffer_, numbers.n);
      buffer_ += ",\"pos\":";
      append_integer(&buffer_, numbers.pos);
    }
    buffer_ += format_ == Format::kJson ? "}" : "}\n";
  }
  flush_if_full();
}

bool RowWriter::finish() {
  if (!buffer_.empty() &&
      std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) {
    failed_ = true;
  }
  buffer_.clear();
  if (std::fflush(out_) != 0) failed_ = true;
  return !failed_;
}

void RowWriter::flush_if_full() {
  if (buffer_.size() >= kFlushSize) {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_) !=
        buffer_.size()) {
      failed_ = true;
    }
    buffer_.clear();
  }
}

}  // namespace kvo::archive_tool
