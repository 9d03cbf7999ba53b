#include "service/stats_config.h"

namespace kvo {
namespace {

constexpr const char* kStatsKeys[] = {
    "VEH_ODOMETER",      "VEH_ODOMETER_GPS",   "VEH_ODOMETER_OBD",
    "VEH_FUELLEVEL",     "VEH_FUELUSED",       "VEH_FUELUSED_LVL",
    "VEH_FUELUSED_MAF",  "VEH_FUELUSED_RATE",  "VEH_IDLETIME",
    "VEH_IDLETIME_IGN",  "VEH_IDLETIME_RPM",   "VEH_ENGHOURS",
    "VEH_ENGHOURS_IGN",  "VEH_ENGHOURS_RPM",   "CELL_TOTAL_RX",
    "CELL_TOTAL_TX",     "GPS_LAST_VALID_LAT", "GPS_LAST_VALID_LON",
    "GPIO_PULSE_TOTAL1", "GPIO_PULSE_TOTAL2",  "GPIO_PULSE_TOTAL3",
    "GPIO_PULSE_TOTAL4",
};

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
