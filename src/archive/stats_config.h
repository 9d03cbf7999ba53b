// The built-in configuration document of the "stats" instance: the 22
// vehicle totals that must survive a power cycle.
#ifndef KVO_ARCHIVE_STATS_CONFIG_H_
#define KVO_ARCHIVE_STATS_CONFIG_H_

#include <json/value.h>

namespace kvo {

// The built-in keys, in the order of the document.
inline constexpr const char* kStatsKeys[] = {
    "VEH_ODOMETER",      "VEH_ODOMETER_GPS",   "VEH_ODOMETER_OBD",
    "VEH_FUELLEVEL",     "VEH_FUELUSED",       "VEH_FUELUSED_LVL",
    "VEH_FUELUSED_MAF",  "VEH_FUELUSED_RATE",  "VEH_IDLETIME",
    "VEH_IDLETIME_IGN",  "VEH_IDLETIME_RPM",   "VEH_ENGHOURS",
    "VEH_ENGHOURS_IGN",  "VEH_ENGHOURS_RPM",   "CELL_TOTAL_RX",
    "CELL_TOTAL_TX",     "GPS_LAST_VALID_LAT", "GPS_LAST_VALID_LON",
    "GPIO_PULSE_TOTAL1", "GPIO_PULSE_TOTAL2",  "GPIO_PULSE_TOTAL3",
    "GPIO_PULSE_TOTAL4",
};

// Appends one entry per built-in key to the array "list" of `doc`, creating
// the array if `doc` has none. Each key is saved and restored, sampled every
// 900 seconds and never logged.
void build_stats_config(Json::Value* doc);

}  // namespace kvo

#endif  // KVO_ARCHIVE_STATS_CONFIG_H_
