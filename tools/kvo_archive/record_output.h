// How list, verify and last print what they find: for people, as aligned
// columns with every control character escaped; for programs, as CSV with
// a header line (RFC 4180), each field's bytes exact, or as one JSON array
// of objects (RFC 8259), exact but for bytes that are no valid UTF-8, which
// JSON cannot hold: each becomes U+FFFD.
#ifndef KVO_TOOLS_KVO_ARCHIVE_RECORD_OUTPUT_H_
#define KVO_TOOLS_KVO_ARCHIVE_RECORD_OUTPUT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kvo_archive/cli.h"

namespace kvo::archive_tool {

// One field: a text, an integer, or nothing (null; "-" in a table).
struct Field {
  enum class Kind { kText, kNumber, kNull };
  Kind kind = Kind::kNull;
  std::string text;
};

Field text_field(std::string text);
Field number_field(int64_t number);
inline Field null_field() { return Field{}; }
// A text, or null when it is empty.
Field optional_field(std::string text);

// Rows of fields printed as columns, two spaces apart.
class Table {
 public:
  explicit Table(const std::vector<std::string>& header);
  void add(const std::vector<Field>& row);
  void print() const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

// Records with the fields of `columns`, in that order, written to stdout
// by finish(): format kCsv or kJson.
class RecordWriter {
 public:
  RecordWriter(Format format, std::vector<std::string> columns);
  // A writer for a format other than kText; null for kText.
  static std::unique_ptr<RecordWriter> for_format(
      Format format, std::vector<std::string> columns);

  void add(const std::vector<Field>& record);
  // False when writing failed.
  bool finish();

 private:
  Format format_;
  std::vector<std::string> columns_;
  std::string out_;
  bool first_ = true;
};

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_RECORD_OUTPUT_H_
