#include "kvo_archive/record_output.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <utility>

#include "kvo_archive/text_escape.h"

namespace kvo::archive_tool {

Field text_field(std::string text) {
  return Field{Field::Kind::kText, std::move(text)};
}

Field optional_field(std::string text) {
  return text.empty() ? null_field() : text_field(std::move(text));
}

Field number_field(int64_t number) {
  return Field{Field::Kind::kNumber, std::to_string(number)};
}

Table::Table(const std::vector<std::string>& header) {
  rows_.push_back(header);
}

void Table::add(const std::vector<Field>& row) {
  std::vector<std::string> cells;
  for (const Field& field : row) {
    cells.push_back(
        field.kind == Field::Kind::kNull ? "-" : terminal_text(field.text));
  }
  rows_.push_back(std::move(cells));
}

void Table::print() const {
  std::vector<size_t> widths;
  for (const auto& row : rows_) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  for (const auto& row : rows_) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size())
        line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    std::cout << line << "\n";
  }
}

RecordWriter::RecordWriter(Format format, std::vector<std::string> columns)
    : format_(format), columns_(std::move(columns)) {
  if (format_ == Format::kJson) {
    out_ = "[";
    return;
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (i > 0) out_ += ',';
    append_csv_field(&out_, columns_[i].data(), columns_[i].size());
  }
  out_ += "\r\n";
}

std::unique_ptr<RecordWriter> RecordWriter::for_format(
    Format format, std::vector<std::string> columns) {
  if (format == Format::kText) return nullptr;
  return std::make_unique<RecordWriter>(format, std::move(columns));
}

void RecordWriter::add(const std::vector<Field>& record) {
  if (format_ == Format::kJson) out_ += first_ ? "\n{" : ",\n{";
  first_ = false;
  for (size_t i = 0; i < record.size() && i < columns_.size(); ++i) {
    const Field& field = record[i];
    if (i > 0) out_ += ',';
    if (format_ == Format::kJson) {
      append_json_string(&out_, columns_[i].data(), columns_[i].size());
      out_ += ':';
    }
    if (field.kind == Field::Kind::kText) {
      (format_ == Format::kCsv ? append_csv_field : append_json_string)(
          &out_, field.text.data(), field.text.size());
    } else if (field.kind == Field::Kind::kNumber) {
      out_ += field.text;
    } else if (format_ == Format::kJson) {
      out_ += "null";
    }
  }
  out_ += format_ == Format::kJson ? "}" : "\r\n";
}

bool RecordWriter::finish() {
  if (format_ == Format::kJson) out_ += "\n]\n";
  bool written =
      std::fwrite(out_.data(), 1, out_.size(), stdout) == out_.size();
  out_.clear();
  return std::fflush(stdout) == 0 && written;
}

}  // namespace kvo::archive_tool
