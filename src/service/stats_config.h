// The built-in configuration document of the "stats" instance: the 22
// vehicle totals that must survive a power cycle.
#ifndef KVO_SERVICE_STATS_CONFIG_H_
#define KVO_SERVICE_STATS_CONFIG_H_

#include <json/value.h>

namespace kvo {

// Appends one entry per built-in key to the array "list" of `doc`, creating
// the array if `doc` has none. Each key is saved and restored, sampled every
// 900 seconds and never logged.
void build_stats_config(Json::Value* doc);

}  // namespace kvo

#endif  // KVO_SERVICE_STATS_CONFIG_H_
