// dump and last: the rows of a working database or of an archive's copy.
#include <cstdio>
#include <iostream>

#include "archive/restore_query.h"
#include "base/sqlite_handle.h"
#include "kvo_archive/commands.h"
#include "kvo_archive/database_source.h"
#include "kvo_archive/record_output.h"
#include "kvo_archive/row_format.h"

namespace kvo::archive_tool {
namespace {

constexpr char kDumpHelp[] = R"(Usage: kvo-archive dump FILE|DB [OPTIONS]

Writes every row of the table data of an archive file, or of a working
database such as stats.db, in insertion order: rowid, time (UTC, ISO 8601),
key, type (integer, real, text or null) and value, exact. FILE - reads
standard input.

Options:
  -f, --format csv|jsonl
                      CSV with a header line (RFC 4180, the default) or
                      JSON Lines, one object a row (text that is no valid
                      UTF-8 has each bad byte as U+FFFD there)
  -k, --key K         only rows of key K; may be given more than once
  -s, --since T       only rows sampled at or after T
  -u, --until T       only rows sampled before T
                      (T: 2026-12-05, 2026-12-05T23:10, 2026-12-05T23:10:00Z)
  -d, --device ID     a first column "device" holding ID, so that the dumps
                      of many vehicles concatenate into one table
  -i, --identity      two last columns, n and pos, which identify each
                      sample across archives (see below)

Rows come in rowid order, the order the service wrote them in. A rowid is
no identity across archives (start-up's VACUUM numbers rows anew, and
after a power cut new rows reuse the numbers of a lost archive). A
sample's identity across the archives of one vehicle and instance is
(device, time, key, type, value, n): n counts from 1 the rows of the
archive that agree in time, key, type and value, in rowid order; pos
counts the archive's rows of the same time, in rowid order, and so orders
the samples of one second; where size control deleted the oldest rows of a
second, those left of it have a smaller pos than in older archives, never
a larger one. Both count every row of the archive, whatever --key, --since
and --until leave out. The identity holds while the vehicle's clock never
goes back (docs/FLEET.md loads each sample once).

An archive that is not good is read all the same when its copy is a
database, with a warning. Exit status: 0 written, 1 the file cannot be
read, 2 wrong usage.
)";

constexpr char kLastHelp[] =
    R"(Usage: kvo-archive last [-f text|csv|json] FILE|DB

Prints, for each key, the youngest row of an archive file or a working
database: the value the service's start-up restores from it into the
system database (a key of integer type takes the value truncated toward
zero, held to the 32-bit range), with its type and sample time. FILE - reads standard input.

Options:
  -f, --format text|csv|json
                      text: a table of key, value, type and time (the
                      default); csv and json: the rows as dump writes them,
                      CSV with a header line or a JSON array of objects

Exit status: 0 printed, 1 the file cannot be read, 2 wrong usage.
)";

bool is_digits(const std::string& text, size_t from, size_t count) {
  for (size_t i = from; i < from + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// An ISO 8601 time, in UTC, as the stored times read: "YYYY-MM-DD hh:mm:ss".
bool stored_time(std::string t, std::string* stored) {
  if (!t.empty() && t.back() == 'Z') t.pop_back();
  if (t.size() == 10) t += "T00:00";
  if (t.size() == 16) t += ":00";
  if (t.size() != 19 || !is_digits(t, 0, 4) || t[4] != '-' ||
      !is_digits(t, 5, 2) || t[7] != '-' || !is_digits(t, 8, 2) ||
      (t[10] != 'T' && t[10] != ' ') || !is_digits(t, 11, 2) || t[13] != ':' ||
      !is_digits(t, 14, 2) || t[16] != ':' || !is_digits(t, 17, 2)) {
    return false;
  }
  t[10] = ' ';
  *stored = t;
  return true;
}

// Opens the one FILE|DB of `parsed`, printing a warning or the error.
std::unique_ptr<MemoryDatabase> open_source(const CommandLine& parsed) {
  std::unique_ptr<MemoryDatabase> database;
  std::string warning, error;
  if (!open_database_source(parsed.positional[0], &database, &warning,
                            &error)) {
    failed(error);
    return nullptr;
  }
  if (!warning.empty()) warn(warning);
  return database;
}

}  // namespace

int run_dump(const Args& args) {
  CommandLine parsed;
  Format format;
  if (!parse_args("dump", args,
                  {kFormatOption,
                   {"key", 'k', true, true},
                   {"since", 's', true},
                   {"until", 'u', true},
                   {"device", 'd', true},
                   {"identity", 'i', false}},
                  &parsed)) {
    return kExitUsage;
  }
  if (parsed.has("help")) {
    std::cout << kDumpHelp;
    return kExitOk;
  }
  if (parsed.positional.size() != 1) {
    return usage_error("dump: give one FILE or DB");
  }
  if (!parse_format("dump", parsed, {Format::kCsv, Format::kJsonl}, &format)) {
    return kExitUsage;
  }
  std::string device = parsed.value("device");
  if (parsed.has("device") && device.empty()) {
    return usage_error("dump: --device needs a name");
  }
  const bool identity = parsed.has("identity");
  std::string filter = "1";
  std::vector<std::string> bound;
  if (parsed.has("key")) {
    filter += " AND key IN (";
    for (const std::string& key : parsed.options.at("key")) {
      filter += bound.empty() ? "?" : ", ?";
      bound.push_back(key);
    }
    filter += ")";
  }
  for (const std::string option : {"since", "until"}) {
    if (!parsed.has(option)) continue;
    std::string stored;
    if (!stored_time(parsed.value(option), &stored)) {
      return usage_error("dump: --" + option +
                         " needs a time such as 2026-12-05T23:10:00Z");
    }
    filter += option == "since" ? " AND ts >= ?" : " AND ts < ?";
    bound.push_back(stored);
  }
  // n and pos count every row, so the filter only marks the rows to write.
  std::string sql =
      identity ? "SELECT rowid, ts, key, value, " + filter + " FROM data"
               : "SELECT rowid, ts, key, value FROM data WHERE " + filter;
  sql += " ORDER BY rowid";
  std::unique_ptr<MemoryDatabase> database = open_source(parsed);
  if (!database) return kExitFailed;
  SqliteStatement statement;
  if (sqlite3_prepare_v2(database->get(), sql.c_str(), -1, statement.out(),
                         nullptr) != SQLITE_OK) {
    return failed(parsed.positional[0] + ": " + sqlite_error(database->get()));
  }
  for (size_t i = 0; i < bound.size(); ++i) {
    sqlite3_bind_text(statement.get(), static_cast<int>(i + 1),
                      bound[i].c_str(), -1, SQLITE_STATIC);
  }
  RowWriter writer(stdout, format, device, identity);
  writer.begin();
  int result;
  SampleIdentity counter;
  while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
    if (!identity) {
      writer.write(statement.get());
      continue;
    }
    SampleIdentity::Numbers numbers = counter.next(statement.get());
    if (sqlite3_column_int(statement.get(), 4) == 1) {
      writer.write(statement.get(), numbers);
    }
  }
  writer.end();
  if (!writer.finish()) return failed("dump: cannot write the output");
  if (result != SQLITE_DONE) {
    return failed(parsed.positional[0] + ": " + sqlite_error(database->get()));
  }
  return kExitOk;
}

int run_last(const Args& args) {
  CommandLine parsed;
  Format format;
  if (!parse_args("last", args, {kFormatOption}, &parsed)) return kExitUsage;
  if (parsed.has("help")) {
    std::cout << kLastHelp;
    return kExitOk;
  }
  if (parsed.positional.size() != 1) {
    return usage_error("last: give one FILE or DB");
  }
  if (!parse_format("last", parsed,
                    {Format::kText, Format::kCsv, Format::kJson}, &format)) {
    return kExitUsage;
  }
  std::unique_ptr<MemoryDatabase> database = open_source(parsed);
  if (!database) return kExitFailed;
  // Each key's row as start-up's restore picks it.
  SqliteStatement keys, row;
  const std::string query = last_row_query("rowid, ts, key, value", "?");
  if (sqlite3_prepare_v2(database->get(),
                         "SELECT DISTINCT key FROM data WHERE key IS NOT NULL "
                         "ORDER BY key",
                         -1, keys.out(), nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(database->get(), query.c_str(), -1, row.out(),
                         nullptr) != SQLITE_OK) {
    return failed(parsed.positional[0] + ": " + sqlite_error(database->get()));
  }
  Table table({"KEY", "VALUE", "TYPE", "TIME"});
  RowWriter writer(stdout, format, "", false);
  if (format != Format::kText) writer.begin();
  int result;
  while ((result = sqlite3_step(keys.get())) == SQLITE_ROW) {
    sqlite3_reset(row.get());
    sqlite3_bind_value(row.get(), 1, sqlite3_column_value(keys.get(), 0));
    const int found = sqlite3_step(row.get());
    if (found == SQLITE_DONE) continue;
    if (found != SQLITE_ROW) {
      result = found;
      break;
    }
    if (format != Format::kText) {
      writer.write(row.get());
      continue;
    }
    const unsigned char* ts = sqlite3_column_text(row.get(), 1);
    table.add(
        {text_field(value_text(row.get(), 2)),
         text_field(value_text(row.get(), 3)),
         text_field(type_name(sqlite3_column_type(row.get(), 3))),
         text_field(iso_time(ts ? reinterpret_cast<const char*>(ts) : ""))});
  }
  if (result != SQLITE_DONE) {
    return failed(parsed.positional[0] + ": " + sqlite_error(database->get()));
  }
  if (format == Format::kText) {
    table.print();
  } else {
    writer.end();
    if (!writer.finish()) return failed("last: cannot write the output");
  }
  return kExitOk;
}

}  // namespace kvo::archive_tool
