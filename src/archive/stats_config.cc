#include "archive/stats_config.h"

namespace kvo {
namespace {

constexpr int kSamplePeriod = 900;

}  // namespace

void build_stats_config(Json::Value* doc) {
  Json::Value& list = (*doc)["list"];
  for (const char* key : kStatsKeys) {
    Json::Value entry(Json::objectValue);
    entry["name"] = key;
    entry["restore"] = true;
    entry["save_to_db"] = true;
    entry["period"] = kSamplePeriod;
    entry["send_to_log"] = 0;
    entry["log_period"] = kSamplePeriod;
    list.append(entry);
  }
}

}  // namespace kvo
