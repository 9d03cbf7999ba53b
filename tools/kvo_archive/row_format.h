// The rows of the table `data` as dump and last write them: CSV (RFC 4180,
// with a header line), JSON Lines or one JSON array, a record a row with
// each value's SQL type kept, so that dumps of many vehicles concatenate
// into one table.
#ifndef KVO_TOOLS_KVO_ARCHIVE_ROW_FORMAT_H_
#define KVO_TOOLS_KVO_ARCHIVE_ROW_FORMAT_H_

#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "kvo_archive/cli.h"
#include "kvo_archive/sample_identity.h"

namespace kvo::archive_tool {

// A sample time as stored ("2026-12-05 23:10:00", UTC) in ISO 8601
// ("2026-12-05T23:10:00Z"); any other text unchanged.
std::string iso_time(const std::string& stored);

// "integer", "real", "text", "blob" or "null": the value's storage class.
const char* type_name(int sqlite_type);

// Column `column` of the current row as text: integers and reals exact and
// shortest (a real always shows a point or an exponent, so it reads back
// as a real), a blob as hexadecimal digits, null as "".
std::string value_text(sqlite3_stmt* statement, int column);

// Buffers records and writes them to `out` in large pieces.
class RowWriter {
 public:
  // `format`: kCsv, kJsonl or kJson. `device` empty: no device column.
  // `identity`: each record ends with the integer columns n and pos.
  RowWriter(FILE* out, Format format, std::string device, bool identity);
  ~RowWriter();

  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  // Writes the header line (CSV) or opens the array (JSON).
  void begin();
  // One record from a statement whose columns are rowid, ts, key, value;
  // with `identity`, `numbers` end it.
  void write(sqlite3_stmt* statement,
             const SampleIdentity::Numbers& numbers = {0, 0});
  // Closes the array (JSON).
  void end();
  // False when writing failed (a full disk, a closed pipe).
  bool finish();

 private:
  void flush_if_full();

  FILE* out_;
  Format format_;
  std::string device_;
  bool identity_;
  std::string buffer_;
  bool first_ = true;
  bool failed_ = false;
};

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_ROW_FORMAT_H_
