// What one tick's work costs with the 22 built-in keys: applying the
// configuration, a sampling cycle, an idle state tick and a size check.
// Logging goes to a sink that discards, so syslog's own cost is left out.
#include <benchmark/benchmark.h>

#include "archive/archive.h"
#include "archive/stats_config.h"
#include "base/log.h"
#include "service/service.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

// A simulated vehicle with every built-in key and power state 5.
class Vehicle {
 public:
  Vehicle() {
    build_stats_config(&config_);
    for (const Json::Value& entry : config_["list"]) {
      sim_.set_key(entry["name"].asString(), "VEH", KEY_TYPE_DOUBLE, 1234.5);
    }
    sim_.set_key("SYS_STATE_INT", "SYS", KEY_TYPE_INT, 5);
    sim_.set_command("system.data_logger", Json::Value(Json::objectValue));
    set_log_sink([](int, const std::string&) {});
  }
  ~Vehicle() { set_log_sink(nullptr); }

  const Json::Value& config() const { return config_; }

 private:
  SimDir sim_;
  Json::Value config_;
};

void BM_ApplyStatsConfig(benchmark::State& state) {
  Vehicle vehicle;
  Archive stats("stats");
  for (auto _ : state) stats.apply_config(vehicle.config(), 3, 30);
}
BENCHMARK(BM_ApplyStatsConfig);

// Every key due at every call: the worst sampling cycle, one INSERT of 22
// tuples into the working database.
void BM_SaveAllKeys(benchmark::State& state) {
  Vehicle vehicle;
  Archive stats("stats");
  stats.apply_config(vehicle.config(), 3, 30);
  stats.create_schema();
  uint32_t now = 1;
  for (auto _ : state) stats.save_to_db(now += 900, true);
}
BENCHMARK(BM_SaveAllKeys);

// The common case: nothing due, only the clocks are compared.
void BM_UpdateNothingDue(benchmark::State& state) {
  Vehicle vehicle;
  Archive stats("stats");
  stats.apply_config(vehicle.config(), 3, 30);
  stats.create_schema();
  stats.update(1);
  for (auto _ : state) stats.update(2);
}
BENCHMARK(BM_UpdateNothingDue);

// A state tick in an inactive power state: one power-state read.
void BM_IdleStateTick(benchmark::State& state) {
  Vehicle vehicle;
  ServiceFlags flags;
  flags.reload_config = false;
  Service service(&flags);
  uint32_t now = 1;
  for (auto _ : state) {
    service.tick(++now);  // State tick.
    service.tick(++now);  // Maintenance tick.
  }
}
BENCHMARK(BM_IdleStateTick);

}  // namespace
}  // namespace kvo

BENCHMARK_MAIN();
