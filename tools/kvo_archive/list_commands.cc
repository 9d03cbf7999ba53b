// list and verify: the state of archive files, and what start-up would do
// with each folder of them.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <utility>

#include "archive/archive_directory.h"
#include "archive/archive_order.h"
#include "kvo_archive/archive_judgement.h"
#include "kvo_archive/commands.h"
#include "kvo_archive/record_output.h"
#include "kvo_archive/row_format.h"
#include "kvo_archive/startup_plan.h"

namespace kvo::archive_tool {
namespace {

constexpr char kListHelp[] =
    R"(Usage: kvo-archive list [-f text|csv|json] DIR...

Lists the archive files in each DIR: an instance's archive folder (such as
/var/data/kvo/archive/stats), a folder holding several, or any folder above
them (a device's /var/data/kvo/archive, a folder of vehicles). For each
archive: instance, number, file, size, state, rows, keys, first and last
sample time (UTC), and what the service's start-up would do with it:
  load    the newest archive it accepts becomes the working database
  delete  newer archives it rejects are deleted
  keep    older archives stay, up to two below the one loaded
  remove  the rest are removed by rotation
  as N.tar  an odd name (7.tar.part, 0012.tar): start-up reads the number
          from it but opens N.tar, and never touches this file itself

States: good; rejected by start-up: not a tar, truncated, refused member,
member too large, missing member, checksum names another file, checksum
mismatch, not a database (damaged, or no SQLite database), unexpected
schema (no table data the service can use: a view, a trigger, a missing
key or value column). An archive that volatile storage cannot take is
kept by start-up and loaded once there is room; this tool cannot see that.
A file that is no regular file (a FIFO, a device) is not opened: it shows
as not a tar.

Options:
  -f, --format text|csv|json
                      text: a table per folder (the default); csv: a header
                      line and a row an archive (RFC 4180); json: an array
                      of objects. Columns: folder, instance, number, file,
                      size, state, rows, keys, first, last, startup, detail
                      (the reason for the state); no value: empty or null

Exit status: 0 every archive is good, 1 some is not or a DIR holds none,
2 wrong usage.
)";

// Rotation keeps the loaded archive and two below it, as the help and the
// manual page say.
static_assert(kArchivesKept == 3, "tell list --help how many are kept");

constexpr char kVerifyHelp[] =
    R"(Usage: kvo-archive verify [-f text|csv|json] FILE...

Judges each archive file as the service's start-up judges an archive, one
line each:
  FILE: STATE (instance NAME|unknown)[: reason]
The instance is the name of the file's folder when its members bear it,
else the name its members bear; unknown when they bear none. States as in
kvo-archive list --help. Whether start-up loads a good archive depends on
the others beside it: kvo-archive list of its folder tells. FILE - reads
standard input.

Options:
  -f, --format text|csv|json
                      text (the default), CSV with a header line, or a JSON
                      array of objects; columns: file, state, instance,
                      detail

Exit status: 0 every file is good, 1 some is not or cannot be read, 2 wrong
usage.
)";

constexpr int kSearchDepth = 4;

std::string strip_slashes(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool is_dir(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folders at or below `dir` that hold archive files, in name order.
void find_archive_folders(const std::string& dir, int depth,
                          std::vector<std::string>* folders) {
  if (!list_archives(dir + "/").empty()) {
    folders->push_back(dir);
    return;
  }
  if (depth == 0) return;
  std::vector<std::string> children;
  if (DIR* listing = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(listing)) {
      std::string name = entry->d_name;
      if (name != "." && name != ".." && is_dir(dir + "/" + name)) {
        children.push_back(dir + "/" + name);
      }
    }
    closedir(listing);
  }
  std::sort(children.begin(), children.end());
  for (const std::string& child : children) {
    find_archive_folders(child, depth - 1, folders);
  }
}

Field file_size(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? number_field(info.st_size)
                                          : null_field();
}

std::vector<Field> summary_fields(const Judgement& judgement) {
  DataSummary summary;
  std::string error;
  if (!judgement.database || !judgement.database->summarize(&summary, &error)) {
    return {null_field(), null_field(), null_field(), null_field()};
  }
  return {number_field(summary.rows), number_field(summary.keys),
          optional_field(iso_time(summary.first_time)),
          optional_field(iso_time(summary.last_time))};
}

// Lists one archive folder, as a table or into `records`; false when some
// archive is not good.
bool list_folder(const std::string& folder, RecordWriter* records) {
  const std::string dir = folder + "/";
  const std::string instance = folder_instance(folder);
  std::vector<ArchiveEntry> entries = list_archives(dir);
  std::sort(entries.begin(), entries.end(),
            [](const ArchiveEntry& a, const ArchiveEntry& b) {
              return a.number != b.number ? a.number > b.number
                                          : a.name < b.name;
            });
  // One database copy in memory at a time: each is summarized and let go.
  std::map<std::string, Judgement> judged;
  std::map<std::string, std::vector<Field>> summaries;
  for (const ArchiveEntry& entry : entries) {
    Judgement judgement = judge_archive(dir + entry.name, instance);
    summaries[entry.name] = summary_fields(judgement);
    judgement.database.reset();
    judged.emplace(dir + entry.name, std::move(judgement));
  }
  StartupPlan plan = plan_startup(dir, instance, entries, &judged);
  Table table({"INSTANCE", "NUMBER", "FILE", "SIZE", "STATE", "ROWS", "KEYS",
               "FIRST", "LAST", "START-UP"});
  std::vector<std::string> notes;
  bool all_good = true;
  for (const ArchiveEntry& entry : entries) {
    const Judgement& judgement = judged.at(dir + entry.name);
    std::vector<Field> row = {text_field(instance), number_field(entry.number),
                              text_field(entry.name),
                              file_size(dir + entry.name),
                              text_field(state_name(judgement.state))};
    for (Field& field : summaries[entry.name]) row.push_back(std::move(field));
    row.push_back(text_field(startup_action(entry, plan)));
    if (records) {
      row.insert(row.begin(), text_field(folder));
      row.push_back(optional_field(judgement.detail));
      records->add(row);
    } else {
      table.add(row);
    }
    if (judgement.state != ArchiveState::kGood) {
      all_good = false;
      notes.push_back(entry.name + ": " + state_text(judgement));
    }
  }
  for (uint32_t number : plan.deleted) {
    std::string name = archive_path("", number);
    const Judgement& judgement = judged.at(dir + name);
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const ArchiveEntry& e) { return e.name == name; })) {
      notes.push_back(name + " (start-up tries it, then deletes it): " +
                      state_text(judgement));
    }
  }
  if (records) return all_good;
  print_line(folder + ":");
  table.print();
  for (const std::string& note : notes) print_line("  " + note);
  print_line(plan.loads
                 ? "start-up loads " + std::to_string(plan.loaded) +
                       ".tar; the next archive is " +
                       std::to_string(next_number(plan.loaded)) + ".tar"
                 : "start-up loads no archive; the next archive is 0.tar");
  return all_good;
}

}  // namespace

int run_list(const Args& args) {
  CommandLine parsed;
  Format format;
  if (!parse_args("list", args, {kFormatOption}, &parsed)) return kExitUsage;
  if (parsed.has("help")) {
    std::cout << kListHelp;
    return kExitOk;
  }
  if (!parse_format("list", parsed,
                    {Format::kText, Format::kCsv, Format::kJson}, &format)) {
    return kExitUsage;
  }
  if (parsed.positional.empty()) return usage_error("list: no DIR given");
  std::unique_ptr<RecordWriter> records = RecordWriter::for_format(
      format, {"folder", "instance", "number", "file", "size", "state", "rows",
               "keys", "first", "last", "startup", "detail"});
  int status = kExitOk;
  bool first = true;
  for (const std::string& given : parsed.positional) {
    std::string dir = strip_slashes(given);
    std::vector<std::string> folders;
    if (!is_dir(dir) && !is_dir(dir + "/.")) {
      status = failed(given + ": not a folder");
      continue;
    }
    find_archive_folders(dir, kSearchDepth, &folders);
    if (folders.empty()) status = failed(given + ": no archive files found");
    for (const std::string& folder : folders) {
      if (!first && !records) std::cout << "\n";
      first = false;
      if (!list_folder(folder, records.get())) status = kExitFailed;
    }
  }
  if (records && !records->finish()) return failed("cannot write the output");
  return status;
}

int run_verify(const Args& args) {
  CommandLine parsed;
  Format format;
  if (!parse_args("verify", args, {kFormatOption}, &parsed)) return kExitUsage;
  if (parsed.has("help")) {
    std::cout << kVerifyHelp;
    return kExitOk;
  }
  if (!parse_format("verify", parsed,
                    {Format::kText, Format::kCsv, Format::kJson}, &format)) {
    return kExitUsage;
  }
  if (parsed.positional.empty()) return usage_error("verify: no FILE given");
  if (std::count(parsed.positional.begin(), parsed.positional.end(), "-") > 1) {
    return usage_error("verify: standard input (-) can be read only once");
  }
  std::unique_ptr<RecordWriter> records =
      RecordWriter::for_format(format, {"file", "state", "instance", "detail"});
  int status = kExitOk;
  for (const std::string& path : parsed.positional) {
    InputFile input(path, kMemberCap);
    if (!input.valid()) {
      status = failed(path + ": " + input.error());
      continue;
    }
    const std::string instance = instance_of(input);
    Judgement judgement = judge_archive(input, instance);
    if (judgement.state != ArchiveState::kGood) status = kExitFailed;
    if (records) {
      records->add({text_field(path), text_field(state_name(judgement.state)),
                    optional_field(instance),
                    optional_field(judgement.detail)});
      continue;
    }
    print_line(path + ": " + state_name(judgement.state) + " (instance " +
               (instance.empty() ? "unknown" : instance) + ")" +
               (judgement.detail.empty() ? "" : ": " + judgement.detail));
  }
  if (records && !records->finish()) return failed("cannot write the output");
  return status;
}

}  // namespace kvo::archive_tool
