#include "service/service.h"

#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "archive/stats_config.h"
#include "base/log.h"
#include "platform/cmd.h"
#include "platform/sysdb.h"
#include "platform/utils.h"

namespace kvo {
namespace {

constexpr unsigned kTickMicroseconds = 500000;
constexpr uint32_t kStatsSizeMiB = 3;
constexpr uint32_t kArchiveSizeMiB = 10;
constexpr uint32_t kArchivePeriodMinutes = 30;
constexpr char kAgentStartCommand[] = "/bin/systemctl start stats-agent";

bool is_active(int32_t power_state) {
  return power_state == 2 || power_state == 3;
}

}  // namespace

Service::Service(ServiceFlags* flags, Hooks hooks)
    : flags_(flags), hooks_(std::move(hooks)) {
  if (!hooks_.sleep) hooks_.sleep = [](unsigned usec) { usleep(usec); };
  if (!hooks_.run)
    hooks_.run = [](const char* cmd) { return std::system(cmd); };
  stats_ = std::make_unique<Archive>("stats");
  archive_ = std::make_unique<Archive>("archive");
}

Service::~Service() { shutdown_instances(); }

void Service::start() {
  stats_->initialize();
  archive_->initialize();
  build_stats_config(&stats_config_);
}

void Service::run() {
  while (flags_->running) {
    hooks_.sleep(kTickMicroseconds);
    if (!tick(fwtime_s(0))) break;
  }
}

bool Service::tick(uint32_t now) {
  if (flags_->reload_config && !configuration_pass()) return false;
  if (phase_ == Phase::kState) {
    state_tick(now);
    phase_ = Phase::kMaintenance;
  } else {
    maintenance_tick(now);
    phase_ = Phase::kState;
  }
  return true;
}

void Service::shutdown() {
  log_printf(LOG_ALERT, "KVO Archiver shutting down...");
  shutdown_instances();
}

void Service::shutdown_instances() {
  stats_.reset();
  archive_.reset();
  stats_config_ = Json::Value();
}

bool Service::configuration_pass() {
  log_printf(LOG_INFO, "Getting archive config");
  // Fetched afresh at every pass and applied at once, so it is not kept:
  // a document of a thousand keys takes half a MB.
  Json::Value archive_config;
  for (;;) {
    if (!flags_->running) return false;
    if (cmd_get_value_json("system.data_logger", &archive_config) == 0) break;
    hooks_.sleep(kTickMicroseconds);
  }
  if (!flags_->running) return false;

  stats_->apply_config(stats_config_, kStatsSizeMiB, kArchivePeriodMinutes);
  archive_->apply_config(archive_config, kArchiveSizeMiB,
                         kArchivePeriodMinutes);
  if (first_configuration_) {
    stats_->restore_values();
    if (hooks_.run(kAgentStartCommand) != 0) {
      log_printf(LOG_NOTICE, "Error starting kvo-stats");
    }
    archive_->restore_values();
  }
  first_configuration_ = false;
  // Requests made during the pass are covered by it.
  flags_->reload_config = false;
  return true;
}

void Service::state_tick(uint32_t now) {
  int32_t power_state = 0;
  if (sysdb_namedb_read_int(nullptr, "SYS", "SYS_STATE_INT", &power_state) ==
      0) {
    current_power_state_ = power_state;
    log_printf(LOG_DEBUG, "Current power state:%d Prev power state:%d",
               current_power_state_, previous_power_state_);
    if (current_power_state_ != previous_power_state_) {
      if (current_power_state_ == 4 && previous_power_state_ != 6) {
        backup_both(now);
      }
      previous_power_state_ = current_power_state_;
      return;  // The tick that sees a change does nothing else.
    }
  }
  // A failed read keeps deciding on the last state read successfully.
  if (is_active(current_power_state_)) {
    log_printf(LOG_DEBUG, "Checking sampling sysdb");
    stats_->update(now);
    archive_->update(now);
  }
}

void Service::maintenance_tick(uint32_t now) {
  if (is_active(current_power_state_)) {
    stats_->check_size();
    archive_->check_size();
  }
  if (flags_->archive_now) {
    backup_both(now);
    flags_->archive_now = false;
  }
}

void Service::backup_both(uint32_t now) {
  stats_->backup(now);
  archive_->backup(now);
}

}  // namespace kvo
