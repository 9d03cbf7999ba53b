// What one sampling cycle with every key due costs at 22, 1,000 and 10,000
// keys, against two floors measured in the same run on the service's own
// connection: (a) one reused prepared multi-row INSERT with bound values,
// (b) sqlite3_exec of the very statement text the cycle builds. The
// service's own work is the cycle with its log lines formatted but
// discarded and the platform's reads stubbed out (see OwnWork).
// Runs in the sandbox (scripts/bench), where syslog is a real daemon.
#include <sqlite3.h>
#include <syslog.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/schema.h"
#include "base/log.h"
#include "base/sqlite_handle.h"
#include "platform/sysdb.h"
#include "support/archive_peer.h"
#include "support/sim_dir.h"

// The bench is linked with --wrap of the platform's read (by its C++
// symbol), so that the service's reads come to stub_read. With stub_reads
// set, a read only hands back a value, the least any platform's read does,
// and a cycle's time is the service's own work.
int real_read(sysdb_context* ctx, const char* db, const char* key, Json::Value* value) asm(
    "__real__Z22sysdb_namedb_read_jsonP13sysdb_contextPKcS2_PN4Json5ValueE");
int stub_read(sysdb_context* ctx, const char* db, const char* key, Json::Value* value) asm(
    "__wrap__Z22sysdb_namedb_read_jsonP13sysdb_contextPKcS2_PN4Json5ValueE");

namespace kvo {
namespace {

bool stub_reads = false;

}  // namespace
}  // namespace kvo

int stub_read(sysdb_context* ctx, const char* db, const char* key,
              Json::Value* value) {
  if (!kvo::stub_reads) return real_read(ctx, db, key, value);
  Json::Value read(Json::objectValue);
  read[key] = 1234.5;
  value->swap(read);
  return 0;
}

namespace kvo {
namespace {

// The time `work` takes on `clock`, in us. The cycle is timed in the
// thread's CPU time, which time spent waiting for a core on a shared
// machine does not inflate; the backup, whose work is mostly in the
// commands it runs, in wall time.
double time_us(const std::function<void()>& work,
               clockid_t clock = CLOCK_THREAD_CPUTIME_ID) {
  timespec start, end;
  clock_gettime(clock, &start);
  work();
  clock_gettime(clock, &end);
  return (end.tv_sec - start.tv_sec) * 1e6 +
         (end.tv_nsec - start.tv_nsec) / 1e3;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string key_name(int i) {
  char name[32];
  std::snprintf(name, sizeof(name), "BENCH_KEY_%05d", i);
  return name;
}

// A vehicle of `keys` double keys and a configuration that saves each of
// them at every cycle and forwards none, as the busiest archive would.
Json::Value make_vehicle(const SimDir& sim, int keys) {
  Json::Value sysdb(Json::objectValue);
  Json::Value config(Json::objectValue);
  for (int i = 0; i < keys; ++i) {
    Json::Value entry(Json::objectValue);
    entry["namedb"] = "VEH";
    entry["type"] = KEY_TYPE_DOUBLE;
    entry["value"] = 1234.5 + i;
    sysdb[key_name(i)] = entry;
    Json::Value item(Json::objectValue);
    item["name"] = key_name(i);
    item["save_to_db"] = true;
    item["period"] = 0;
    config["list"].append(item);
  }
  Json::Value state(Json::objectValue);
  state["namedb"] = "SYS";
  state["type"] = KEY_TYPE_INT;
  state["value"] = 2;
  sysdb["SYS_STATE_INT"] = state;
  sim.write("sysdb.json", sysdb.toStyledString());
  return config;
}

void exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "floor: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

struct Row {
  int keys;
  double reads, cycle, own, floor_a, floor_b, to_syslog, info_level;
};

void read_every_key(const Archive& archive) {
  for (const auto& [name, key] : archive.keys()) {
    Json::Value value;
    sysdb_namedb_read_json(nullptr, key.namedb.c_str(), name.c_str(), &value);
  }
}

// Times `work` `runs` times in a row, after an untimed `reset` and one
// untimed warm-up run: each variant is timed warm, as a loop of it runs.
void block(int runs, const std::function<void()>& reset,
           const std::function<void()>& work, std::vector<double>* times) {
  reset();
  work();
  for (int run = 0; run < runs; ++run) times->push_back(time_us(work));
}

// The service's own work in a cycle: the cycle with the platform's reads
// stubbed, less the stubbed reads alone, which build and drop each read's
// {key: value} as any platform's read has to.
class OwnWork {
 public:
  void add_round(Archive& archive, uint32_t* now, int runs) {
    const auto empty = [&] { archive.exec_sql("DELETE FROM data"); };
    stub_reads = true;
    block(
        runs, empty, [&] { archive.update(++*now); }, &cycles_);
    block(
        runs, empty, [&] { read_every_key(archive); }, &stubs_);
    stub_reads = false;
  }
  double median_us() const { return median(cycles_) - median(stubs_); }

 private:
  std::vector<double> cycles_, stubs_;
};

// The variants take turns in blocks of consecutive runs: each block runs
// with warm caches, as the variant would on its own, and the turns spread
// a shared machine's changing load over all of them alike.
Row measure(int keys, int rounds, int runs) {
  SimDir sim;
  const Json::Value config = make_vehicle(sim, keys);
  const auto discard = [](int, const std::string&) {};
  Archive archive("archive");
  set_log_sink(discard);
  archive.apply_config(config, 10, 30);
  archive.create_schema();
  uint32_t now = 1000;

  // The statement text of a cycle, built by the service's own code.
  std::string sql = "INSERT into data (key,value) VALUES ";
  for (const auto& [name, key] : archive.keys()) {
    Json::Value value;
    sysdb_namedb_read_json(nullptr, key.namedb.c_str(), name.c_str(), &value);
    if (sql.back() == ')') sql += ',';
    sql += archive.save_double(name, value[name].asDouble());
  }
  // The floors run on the service's own connection: the same database,
  // settings and table, so that they differ from the cycle only in what
  // the service's code does.
  sqlite3* db = ArchivePeer::db(archive);
  std::string bound = "INSERT INTO data (key,value) VALUES ";
  for (int i = 0; i < keys; ++i) bound += i == 0 ? "(?,?)" : ",(?,?)";
  SqliteStatement insert;
  if (sqlite3_prepare_v2(db, bound.c_str(), -1, insert.out(), nullptr) !=
      SQLITE_OK) {
    std::exit(1);
  }

  // Every block starts from an empty table; a block's inserts stay far
  // from the size limits.
  const auto empty = [&] { archive.exec_sql("DELETE FROM data"); };

  const auto cycle = [&] { archive.update(++now); };
  std::vector<double> reads, discarded, floor_a, floor_b, to_syslog, info;
  OwnWork own;
  for (int round = 0; round < rounds; ++round) {
    block(
        runs, empty, [&] { read_every_key(archive); }, &reads);
    block(runs, empty, cycle, &discarded);
    own.add_round(archive, &now, runs);
    block(
        runs, empty, [&] { exec(db, sql); }, &floor_b);
    block(
        runs, empty,
        [&] {
          int column = 1;
          for (const auto& [name, key] : archive.keys()) {
            sqlite3_bind_text(insert.get(), column, name.c_str(),
                              static_cast<int>(name.size()), SQLITE_STATIC);
            sqlite3_bind_double(insert.get(), column + 1, 1234.5 + column);
            column += 2;
          }
          sqlite3_step(insert.get());
          sqlite3_reset(insert.get());
        },
        &floor_a);
    set_log_sink(nullptr);
    block(runs, empty, cycle, &to_syslog);
    log_set_level(LOG_INFO);
    block(runs, empty, cycle, &info);
    log_set_level(LOG_DEBUG);
    set_log_sink(discard);
  }
  set_log_sink(nullptr);
  return Row{keys,
             median(reads),
             median(discarded),
             own.median_us(),
             median(floor_a),
             median(floor_b),
             median(to_syslog),
             median(info)};
}

// Own work at 10,000 keys over own work at 1,000, the two measured in
// alternating blocks of one run, so that a shared machine's changing load
// weighs on both alike.
double own_ratio(int rounds, int runs) {
  SimDir sim;
  const Json::Value config = make_vehicle(sim, 10000);
  Json::Value first_thousand = config;
  first_thousand["list"].resize(1000);
  set_log_sink([](int, const std::string&) {});
  Archive large("large");
  Archive small("small");
  large.apply_config(config, 10, 30);
  small.apply_config(first_thousand, 10, 30);
  large.create_schema();
  small.create_schema();
  uint32_t now = 1000;
  OwnWork large_work, small_work;
  for (int round = 0; round < rounds; ++round) {
    small_work.add_round(small, &now, runs);
    large_work.add_round(large, &now, runs);
  }
  set_log_sink(nullptr);
  return large_work.median_us() / small_work.median_us();
}

// The backup of a database at the archive limit against its floor: the
// same copy, checksum, pack and move, and a sync, run by one shell.
void measure_backup(int runs) {
  SimDir sim;
  const Json::Value config = make_vehicle(sim, 50);
  set_log_sink([](int, const std::string&) {});
  Archive archive("archive");
  archive.initialize();
  archive.apply_config(config, 10, 30);
  archive.create_schema();
  archive.exec_sql("DELETE FROM data");
  archive.exec_sql(
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n "
      "LIMIT 200000) INSERT INTO data (key, value) "
      "SELECT printf('BENCH_KEY_%04d', x % 1000), x * 1.5 FROM n");
  uint32_t pages = 0;
  archive.get_page_count(&pages);
  const std::string floor =
      "/usr/bin/sqlite3 /var/volatile/kvo/archive.db "
      "\".backup '/var/volatile/kvo/floor_bak.db'\" && "
      "md5sum /var/volatile/kvo/floor_bak.db > /var/volatile/kvo/floor.md5 && "
      "tar -cf /var/volatile/kvo/floor.tar -C /var/volatile/kvo floor_bak.db "
      "floor.md5 && mv /var/volatile/kvo/floor.tar /var/data/kvo/floor.tar && "
      "sync";
  std::vector<double> backup, shell;
  uint32_t now = 1000;
  for (int run = 0; run < runs; ++run) {
    backup.push_back(
        time_us([&] { archive.backup(now += 2000); }, CLOCK_MONOTONIC) / 1000);
    shell.push_back(time_us(
                        [&] {
                          if (std::system(floor.c_str()) != 0) std::exit(1);
                        },
                        CLOCK_MONOTONIC) /
                    1000);
  }
  set_log_sink(nullptr);
  std::printf(
      "backup of a %u-page database: %.0f ms, one shell's same commands and "
      "sync: %.0f ms, ratio %.2f\n",
      pages, median(backup), median(shell), median(backup) / median(shell));
}

}  // namespace
}  // namespace kvo

int main() {
  kvo::log_open();
  std::printf(
      "Sampling cycle, every key due, median us of CPU time (cycle = lines "
      "formatted, not sent; own = the same less the platform's reads)\n");
  std::printf("%6s %9s %9s %9s %9s %9s %7s %7s %10s %10s %7s\n", "keys",
              "reads", "cycle", "own", "floor_a", "floor_b", "own/a", "own/b",
              "syslog", "info", "saved");
  std::vector<kvo::Row> rows;
  for (int keys : {22, 1000, 10000}) {
    const kvo::Row r =
        keys >= 10000 ? kvo::measure(keys, 3, 4) : kvo::measure(keys, 5, 6);
    rows.push_back(r);
    std::printf(
        "%6d %9.0f %9.0f %9.0f %9.0f %9.0f %7.2f %7.2f %10.0f %10.0f %6.0f%%\n",
        r.keys, r.reads, r.cycle, r.own, r.floor_a, r.floor_b,
        r.own / r.floor_a, r.own / r.floor_b, r.to_syslog, r.info_level,
        100.0 * (r.to_syslog - r.info_level) / r.to_syslog);
  }
  std::printf("per read of an unchanged sysdb.json at 1,000 keys: %.2f us\n",
              rows[1].reads / 1000);
  std::printf(
      "own work, 10,000 keys / 1,000 keys, in alternating blocks: %.2f "
      "(linear: 10)\n",
      kvo::own_ratio(8, 4));
  kvo::measure_backup(7);
  return 0;
}
