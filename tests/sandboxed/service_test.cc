// The main loop's decisions, tick by tick, without sleeping: sleeps and the
// agent's start are recorded instead of performed.
#include "service/service.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/log.h"
#include "support/archive_peer.h"
#include "support/device.h"

namespace kvo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

class ServiceTest : public DeviceTest {
 protected:
  ServiceTest() {
    power(0);
    sim_.set_command("system.data_logger", Json::Value(Json::objectValue));
    hooks_.sleep = [this](unsigned usec) {
      sleeps_.push_back(usec);
      if (on_sleep_) on_sleep_();
    };
    hooks_.run = [this](const char* command) {
      log_printf(LOG_DEBUG, "run: %s", command);  // In order among lines.
      return agent_status_;
    };
    service_ = std::make_unique<Service>(&flags_, hooks_);
    service_->start();
  }
  void power(int state) { sim_.set_key("SYS_STATE_INT", "SYS", 2, state); }
  // The lines of one tick in power state `state`.
  std::vector<std::string> tick(int state) {
    power(state);
    log_.clear();
    EXPECT_TRUE(service_->tick(1000000));
    return log_.texts();
  }
  bool backed_up() const { return log_.count("Backing up archive (stats)"); }

  ServiceFlags flags_;
  Service::Hooks hooks_;
  std::unique_ptr<Service> service_;
  std::vector<unsigned> sleeps_;
  std::function<void()> on_sleep_;
  int agent_status_ = 0;
};

TEST_F(ServiceTest, FirstPassWaitsSilentlyThenRestoresAroundTheAgent) {
  sim_.write("cmd/system.data_logger.json", "not json");
  on_sleep_ = [&] {
    if (sleeps_.size() == 3) sim_.write("cmd/system.data_logger.json", "{}");
  };
  agent_status_ = 256;
  std::vector<std::string> lines = tick(0);
  EXPECT_THAT(sleeps_, ElementsAre(500000u, 500000u, 500000u));
  auto at = [&](const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) - lines.begin();
  };
  EXPECT_LT(at("Updating archive config (archive)"),
            at("Restoring archive (stats)"));
  EXPECT_LT(at("Finished restoring archive (stats:0)"),
            at("run: /bin/systemctl start stats-agent"));
  EXPECT_LT(at("Error starting kvo-stats"), at("Restoring archive (archive)"));
  EXPECT_THAT(lines, Contains("Finished restoring archive (archive:0)"));
  EXPECT_EQ(service_->stats().max_page_count(), 768u);  // 3 and 10 MiB.
  EXPECT_EQ(service_->archive().max_page_count(), 2560u);
}

TEST_F(ServiceTest, SigintDuringTheWaitEndsWithoutApplying) {
  sim_.write("cmd/system.data_logger.json", "");
  on_sleep_ = [&] {
    if (sleeps_.size() == 2) flags_.running = false;
  };
  log_.clear();
  EXPECT_FALSE(service_->tick(1000000));
  service_->shutdown();
  EXPECT_THAT(log_.texts(), ElementsAre("Getting archive config",
                                        "KVO Archiver shutting down..."));
  EXPECT_EQ(log_.lines().back().priority, LOG_ALERT);
}

TEST_F(ServiceTest, SamplesOnlyInUnchangedActiveStatesAndOnStateTicks) {
  const std::string sampling = "Checking sampling sysdb";
  // {state, sampled}: state and maintenance ticks alternate; a change is
  // only recorded; a failed read keeps deciding on the last state read.
  const std::vector<std::pair<int, bool>> state_ticks = {
      {2, false}, {2, true},   {3, false}, {3, true},
      {5, false}, {-1, false}, {2, false}, {-1, true}};
  for (const auto& [state, sampled] : state_ticks) {
    sim_.write("fail", state < 0 ? "sysdb_namedb_read_int\n" : "");
    std::vector<std::string> lines = tick(state < 0 ? 9 : state);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), sampling), sampled ? 1 : 0)
        << state;
    // A size check clears the mark of rows added; "archive" saves nothing,
    // so it is made to check as if it did (and never to back up).
    ArchivePeer::next_archive_time(service_->archive()) = UINT32_MAX;
    ArchivePeer::data_added(service_->stats()) =
        ArchivePeer::data_added(service_->archive()) = true;
    lines = tick(state < 0 ? 9 : state);
    EXPECT_THAT(lines, Not(Contains(sampling)));
    const int state_now = service_->current_power_state();
    const bool checked = state_now == 2 || state_now == 3;
    EXPECT_NE(service_->stats().data_added(), checked) << state;
    EXPECT_NE(service_->archive().data_added(), checked) << state;
  }
}

TEST_F(ServiceTest, IntoFourBacksUpUnlessFromSixAndRequestsInAnyState) {
  const std::vector<std::pair<int, bool>> steps = {
      {4, true}, {4, false}, {6, false}, {4, false}, {3, false}, {4, true}};
  for (const auto& [state, backs_up] : steps) {
    tick(state);
    EXPECT_EQ(backed_up(), backs_up) << "into " << state;
    // "archive" saves nothing, so it has nothing to back up.
    EXPECT_EQ(log_.count("Finished backing up archive (archive)"), 0);
    tick(state);
  }
  flags_.archive_now = true;  // Power state 4 is inactive.
  tick(4);
  EXPECT_FALSE(backed_up());
  tick(4);
  EXPECT_TRUE(backed_up());
  EXPECT_EQ(log_.count("Backing up archive (archive)"), 1);
  EXPECT_FALSE(flags_.archive_now);
  EXPECT_THAT(tick(4), Not(Contains("Backing up archive (stats)")));
  EXPECT_THAT(tick(4), IsEmpty());
}

}  // namespace
}  // namespace kvo
