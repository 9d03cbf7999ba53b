// The simulated vehicle that `kvo-sim init` creates: the power state and
// the 22 keys the service's stats instance samples, with plausible values.
#ifndef KVO_TOOLS_KVO_SIM_VEHICLE_H_
#define KVO_TOOLS_KVO_SIM_VEHICLE_H_

#include <json/value.h>

namespace kvo::sim_cli {

// The content of sysdb.json for a vehicle that is switched off (power
// state 0).
Json::Value simulated_vehicle();

}  // namespace kvo::sim_cli

#endif  // KVO_TOOLS_KVO_SIM_VEHICLE_H_
