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
#include "kvo_archive/archive_judgement.h"
#include "kvo_archive/commands.h"
#include "kvo_archive/row_format.h"
#include "kvo_archive/startup_plan.h"

namespace kvo::archive_tool {
namespace {

constexpr char kListHelp[] = R"(Usage: kvo-archive list DIR...

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

Exit status: 0 every archive is good, 1 some is not or a DIR holds none,
2 wrong usage.
)";

constexpr char kVerifyHelp[] = R"(Usage: kvo-archive verify FILE...

Judges each archive file as the service's start-up would, one line each:
  FILE: STATE (instance NAME; start-up loads it|rejects it)[: reason]
The instance is the name of the file's folder when its members bear it,
else the name its members bear. States as in kvo-archive list --help.

Exit status: 0 every file is good, 1 some is not, 2 wrong usage.
)";

constexpr int kSearchDepth = 4;

std::string strip_slashes(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

// The instance a folder is for: its own name, also when given as "." or
// through a link.
std::string instance_name(const std::string& dir) {
  std::unique_ptr<char, decltype(&std::free)> real(
      ::realpath(dir.c_str(), nullptr), &std::free);
  std::string path = real ? real.get() : dir;
  return path.substr(
      path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
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

std::string file_size(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? std::to_string(info.st_size) : "-";
}

std::vector<std::string> summary_cells(const Judgement& judgement) {
  DataSummary summary;
  std::string error;
  if (!judgement.database || !judgement.database->summarize(&summary, &error)) {
    return {"-", "-", "-", "-"};
  }
  auto time = [](const std::string& t) {
    return t.empty() ? "-" : iso_time(t);
  };
  return {std::to_string(summary.rows), std::to_string(summary.keys),
          time(summary.first_time), time(summary.last_time)};
}

// Lists one archive folder; false when some archive is not good.
bool list_folder(const std::string& folder) {
  const std::string dir = folder + "/";
  const std::string instance = instance_name(folder);
  std::vector<ArchiveEntry> entries = list_archives(dir);
  std::sort(entries.begin(), entries.end(),
            [](const ArchiveEntry& a, const ArchiveEntry& b) {
              return a.number != b.number ? a.number > b.number
                                          : a.name < b.name;
            });
  // One database copy in memory at a time: each is summarized and let go.
  std::map<std::string, Judgement> judged;
  std::map<std::string, std::vector<std::string>> summaries;
  for (const ArchiveEntry& entry : entries) {
    Judgement judgement = judge_archive(dir + entry.name, instance);
    summaries[entry.name] = summary_cells(judgement);
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
    std::vector<std::string> row = {instance, std::to_string(entry.number),
                                    entry.name, file_size(dir + entry.name),
                                    state_name(judgement.state)};
    for (const std::string& cell : summaries[entry.name]) row.push_back(cell);
    row.push_back(startup_action(entry, plan));
    table.add(row);
    if (judgement.state != ArchiveState::kGood) {
      all_good = false;
      notes.push_back(
          entry.name + ": " + state_name(judgement.state) +
          (judgement.detail.empty() ? "" : ": " + judgement.detail));
    }
  }
  for (uint32_t number : plan.deleted) {
    std::string name = archive_path("", number);
    const Judgement& judgement = judged.at(dir + name);
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const ArchiveEntry& e) { return e.name == name; })) {
      notes.push_back(name + " (start-up tries it, then deletes it): " +
                      state_name(judgement.state) + ": " + judgement.detail);
    }
  }
  std::cout << folder << ":\n";
  table.print();
  for (const std::string& note : notes) std::cout << "  " << note << "\n";
  if (plan.loads) {
    std::cout << "start-up loads " << plan.loaded
              << ".tar; the next archive is " << next_number(plan.loaded)
              << ".tar\n";
  } else {
    std::cout << "start-up loads no archive; the next archive is 0.tar\n";
  }
  return all_good;
}

}  // namespace

int run_list(const Args& args) {
  ParsedArgs parsed;
  if (!parse_args("list", args, {}, {}, &parsed)) return kExitUsage;
  if (parsed.help) {
    std::cout << kListHelp;
    return kExitOk;
  }
  if (parsed.positional.empty()) return usage_error("list: no DIR given");
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
      if (!first) std::cout << "\n";
      first = false;
      if (!list_folder(folder)) status = kExitFailed;
    }
  }
  return status;
}

int run_verify(const Args& args) {
  ParsedArgs parsed;
  if (!parse_args("verify", args, {}, {}, &parsed)) return kExitUsage;
  if (parsed.help) {
    std::cout << kVerifyHelp;
    return kExitOk;
  }
  if (parsed.positional.empty()) return usage_error("verify: no FILE given");
  int status = kExitOk;
  for (const std::string& path : parsed.positional) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
      status = failed(path + ": " + std::strerror(errno));
      continue;
    }
    std::string instance = instance_of(path);
    Judgement judgement = judge_archive(path, instance);
    std::cout << path << ": " << state_name(judgement.state) << " (instance "
              << instance << "; start-up "
              << (judgement.loads ? "loads" : "rejects") << " it)"
              << (judgement.detail.empty() ? "" : ": " + judgement.detail)
              << "\n";
    if (judgement.state != ArchiveState::kGood) status = kExitFailed;
  }
  return status;
}

}  // namespace kvo::archive_tool
