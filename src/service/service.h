// The main loop: owns the "stats" and "archive" instances and the built-in
// configuration document of "stats", and decides from the signal flags and
// the power state when to configure, restore, sample, control sizes and
// back up.
#ifndef KVO_SERVICE_SERVICE_H_
#define KVO_SERVICE_SERVICE_H_

#include <json/value.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "archive/archive.h"
#include "service/signals.h"

namespace kvo {

class Service {
 public:
  // What the loop does to the outside world besides the platform calls;
  // tests replace them to drive ticks without sleeping.
  struct Hooks {
    std::function<void(unsigned microseconds)> sleep;  // Default: usleep.
    std::function<int(const char* command)> run;       // Default: system.
  };

  // Creates "stats", then "archive"; reads and clears nothing in `flags`.
  explicit Service(ServiceFlags* flags, Hooks hooks = {});
  ~Service();

  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Initializes both instances and builds the built-in stats document.
  void start();

  // Ticks every 500 ms until `running` is cleared.
  void run();

  // One tick's work after its sleep, at `now`: a configuration pass when
  // one is requested, then a state or a maintenance tick. False when
  // SIGINT arrived during the configuration pass and the loop must end.
  bool tick(uint32_t now);

  // Logs the shutdown, destroys "stats", then "archive", then releases the
  // documents.
  void shutdown();

  Archive& stats() { return *stats_; }
  Archive& archive() { return *archive_; }
  int32_t current_power_state() const { return current_power_state_; }
  int32_t previous_power_state() const { return previous_power_state_; }
  bool first_configuration() const { return first_configuration_; }

 private:
  enum class Phase { kState, kMaintenance };

  bool configuration_pass();
  void shutdown_instances();
  void state_tick(uint32_t now);
  void maintenance_tick(uint32_t now);
  void backup_both(uint32_t now);

  ServiceFlags* flags_;
  Hooks hooks_;
  Json::Value stats_config_;
  std::unique_ptr<Archive> stats_;
  std::unique_ptr<Archive> archive_;
  int32_t current_power_state_ = 0;
  int32_t previous_power_state_ = 0;
  bool first_configuration_ = true;
  Phase phase_ = Phase::kState;
};

}  // namespace kvo

#endif  // KVO_SERVICE_SERVICE_H_
