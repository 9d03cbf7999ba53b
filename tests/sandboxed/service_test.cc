#include "service/service.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive_key.h"
#include "base/log.h"
#include "sandboxed/working_db.h"
#include "support/sim_dir.h"

namespace kvo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr uint32_t kNow = 1000000;
constexpr char kAgent[] = "/bin/systemctl start stats-agent";

// Drives the loop's decisions tick by tick, with the sleeps and the agent
// start recorded instead of performed.
class ServiceTest : public testing_db::DeviceTest {
 protected:
  ServiceTest() {
    set_power(0);
    sim_.set_command("system.data_logger", Json::Value(Json::objectValue));
    hooks_.sleep = [this](unsigned usec) {
      sleeps_.push_back(usec);
      if (on_sleep_) on_sleep_();
    };
    hooks_.run = [this](const char* command) {
      commands_.push_back(command);
      // Puts the command in order among the service's own lines.
      log_printf(LOG_DEBUG, "run: %s", command);
      return agent_status_;
    };
  }

  void set_power(int state) {
    sim_.set_key("SYS_STATE_INT", "SYS", KEY_TYPE_INT, state);
  }

  // The lines of one tick in power state `state`.
  std::vector<std::string> tick_lines(Service& service, int state) {
    set_power(state);
    log_.clear();
    EXPECT_TRUE(service.tick(kNow));
    return log_.texts();
  }

  // Where the first line holding `text` stands in the capture; -1 if none.
  int position(const std::string& text) const {
    const std::vector<std::string> texts = log_.texts();
    for (size_t i = 0; i < texts.size(); ++i) {
      if (texts[i].find(text) != std::string::npos) return static_cast<int>(i);
    }
    return -1;
  }

  bool backed_up_both() const {
    return log_.count("Backing up archive (stats)") == 1 &&
           log_.count("Backing up archive (archive)") == 1;
  }

  SimDir sim_;
  ServiceFlags flags_;
  Service::Hooks hooks_;
  std::vector<unsigned> sleeps_;
  std::vector<std::string> commands_;
  std::function<void()> on_sleep_;
  int agent_status_ = 0;
};

TEST_F(ServiceTest, FirstTickWaitsSilentlyForTheDocumentThenConfigures) {
  sim_.write("cmd/system.data_logger.json", "not json");
  on_sleep_ = [&] {
    if (sleeps_.size() == 3) {
      sim_.set_command("system.data_logger", Json::Value(Json::objectValue));
    }
  };
  Service service(&flags_, hooks_);
  service.start();
  log_.clear();

  ASSERT_TRUE(service.tick(kNow));

  EXPECT_THAT(sleeps_, ElementsAre(500000u, 500000u, 500000u));
  EXPECT_EQ(log_.count("Getting archive config"), 1);
  EXPECT_EQ(log_.lines()[0], (LogLine{LOG_INFO, "Getting archive config"}));
  EXPECT_EQ(log_.texts()[1], "Updating archive config (stats)");
  EXPECT_THAT(commands_, ElementsAre(kAgent));
  // stats is restored, then the agent starts, then archive is restored.
  EXPECT_LT(position("Updating archive config (archive)"),
            position("Restoring archive (stats)"));
  EXPECT_LT(position("Finished restoring archive (stats:0)"),
            position(std::string("run: ") + kAgent));
  EXPECT_LT(position(std::string("run: ") + kAgent),
            position("Restoring archive (archive)"));
  EXPECT_FALSE(service.first_configuration());
  EXPECT_FALSE(flags_.reload_config);
  EXPECT_EQ(service.stats().keys().size(), 0u);  // No stats key in this sysdb.
  EXPECT_NE(service.stats().next_archive_time(), 0u);
  EXPECT_EQ(service.archive().next_archive_time(), 0u);
}

TEST_F(ServiceTest, SigintBeforeOrDuringTheWaitEndsWithoutApplying) {
  Service early(&flags_, hooks_);
  early.start();
  log_.clear();
  flags_.running = false;
  early.run();
  EXPECT_THAT(sleeps_, IsEmpty());
  EXPECT_THAT(log_.lines(), IsEmpty());

  flags_.running = true;
  sim_.write("cmd/system.data_logger.json", "");
  on_sleep_ = [&] {
    if (sleeps_.size() == 2) flags_.running = false;
  };
  Service service(&flags_, hooks_);
  service.start();
  log_.clear();
  EXPECT_FALSE(service.tick(kNow));
  service.shutdown();
  EXPECT_THAT(log_.texts(), ElementsAre("Getting archive config",
                                        "KVO Archiver shutting down..."));
  EXPECT_EQ(log_.lines().back().priority, LOG_ALERT);
  EXPECT_THAT(commands_, IsEmpty());
  EXPECT_TRUE(flags_.reload_config);
}

TEST_F(ServiceTest, AgentFailureIsLoggedAndReloadNeitherRestoresNorRestarts) {
  agent_status_ = 256;
  Service service(&flags_, hooks_);
  service.start();
  ASSERT_TRUE(service.tick(kNow));
  EXPECT_EQ(log_.count("Error starting kvo-stats"), 1);
  EXPECT_THAT(log_.lines(),
              Contains(LogLine{LOG_NOTICE, "Error starting kvo-stats"}));

  flags_.reload_config = true;
  log_.clear();
  ASSERT_TRUE(service.tick(kNow));
  EXPECT_EQ(log_.count("Updating archive config (stats)"), 1);
  EXPECT_EQ(log_.count("Updating archive config (archive)"), 1);
  EXPECT_THAT(log_.texts(), Not(Contains("Restoring archive (stats)")));
  EXPECT_THAT(commands_, ElementsAre(kAgent));
  EXPECT_FALSE(flags_.reload_config);
}

TEST_F(ServiceTest, TicksAlternateAndSampleOnlyInActiveUnchangedStates) {
  Service service(&flags_, hooks_);
  service.start();
  const std::string sampling = "Checking sampling sysdb";

  // Tick 1, state: the configuration pass, then the change 0 -> 2 only.
  std::vector<std::string> lines = tick_lines(service, 2);
  EXPECT_THAT(lines, Contains("Current power state:2 Prev power state:0"));
  EXPECT_THAT(lines, Not(Contains(sampling)));
  // Tick 2, maintenance: sizes are checked, stats first; no power state.
  lines = tick_lines(service, 2);
  EXPECT_THAT(lines, Not(Contains(HasSubstr("power state"))));
  EXPECT_THAT(lines, Not(Contains(sampling)));
  EXPECT_GE(position("check_size: "), 0);
  EXPECT_LT(position("(stats)"), position("(archive)"));
  // Tick 3, state: unchanged active state samples, and checks no size.
  tick_lines(service, 2);
  EXPECT_THAT(
      log_.lines(),
      Contains(LogLine{LOG_DEBUG, "Current power state:2 Prev power state:2"}));
  EXPECT_THAT(log_.lines(), Contains(LogLine{LOG_DEBUG, sampling}));
  EXPECT_EQ(position("check_size: "), -1);
  tick_lines(service, 3);
  // Tick 5: change 2 -> 3 pauses sampling for exactly this tick.
  lines = tick_lines(service, 3);
  EXPECT_THAT(lines, Contains("Current power state:3 Prev power state:2"));
  EXPECT_THAT(lines, Not(Contains(sampling)));
  tick_lines(service, 3);
  EXPECT_THAT(tick_lines(service, 3), Contains(sampling));
  // Inactive state: read and recorded, nothing sampled.
  for (int i = 0; i < 3; ++i) tick_lines(service, 5);
  EXPECT_THAT(tick_lines(service, 5),
              ElementsAre("Current power state:5 Prev power state:5"));
  EXPECT_EQ(service.previous_power_state(), 5);
}

TEST_F(ServiceTest, FailedPowerStateReadKeepsTheLastStateSilently) {
  Service service(&flags_, hooks_);
  service.start();
  for (int i = 0; i < 4; ++i) tick_lines(service, 2);

  sim_.write("fail", "sysdb_namedb_read_int\n");
  log_.clear();
  ASSERT_TRUE(service.tick(kNow));
  EXPECT_THAT(log_.texts(), Contains("Checking sampling sysdb"));
  EXPECT_THAT(log_.texts(), Not(Contains(HasSubstr("Current power state"))));
  EXPECT_EQ(service.current_power_state(), 2);
  EXPECT_EQ(service.previous_power_state(), 2);
}

TEST_F(ServiceTest, ChangeIntoFourBacksUpUnlessComingFromSix) {
  // Tick pairs: a state tick, then a maintenance tick. The first read of 4
  // is a change from the initial 0.
  const std::vector<std::pair<int, bool>> steps = {
      {4, true}, {4, false}, {6, false}, {4, false}, {3, false}, {4, true}};
  Service service(&flags_, hooks_);
  service.start();
  for (const auto& [state, backs_up] : steps) {
    tick_lines(service, state);
    EXPECT_EQ(backed_up_both(), backs_up) << "into " << state;
    if (backs_up) {
      EXPECT_LT(position("Backing up archive (stats)"),
                position("Backing up archive (archive)"));
    }
    tick_lines(service, state);
  }
}

TEST_F(ServiceTest, ArchiveRequestBacksUpAtTheNextMaintenanceTickInAnyState) {
  Service service(&flags_, hooks_);
  service.start();
  tick_lines(service, 0);  // State tick: 0 is no change.
  flags_.archive_now = true;
  std::vector<std::string> lines = tick_lines(service, 0);
  EXPECT_TRUE(backed_up_both());
  EXPECT_THAT(lines, Not(Contains(HasSubstr("power state"))));
  EXPECT_FALSE(flags_.archive_now);
  EXPECT_THAT(tick_lines(service, 0),
              Not(Contains("Backing up archive (stats)")));
  EXPECT_THAT(tick_lines(service, 0), IsEmpty());
}

}  // namespace
}  // namespace kvo
