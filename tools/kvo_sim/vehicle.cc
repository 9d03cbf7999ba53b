#include "kvo_sim/vehicle.h"

#include <cstring>
#include <iterator>
#include <string>

#include "archive/archive_key.h"
#include "archive/stats_config.h"

namespace kvo::sim_cli {
namespace {

// The start value of each built-in key, in its order. Distances in km, fuel
// in litres (and l/h), times in hours, positions in degrees, data in bytes,
// pulses as counts.
constexpr double kStartValues[] = {
    48213.7,   48190.2,  48215.1, 62.5,    4125.8, 4098.3,  4131.6,    0.0,
    212.4,     215.9,    210.1,   1396.25, 1402.5, 1393.75, 184320512, 40960128,
    59.334591, 18.06324, 120348,  5127,    0,      42,
};
static_assert(std::size(kStartValues) == std::size(kStatsKeys),
              "one start value per built-in key");

// Counters are integers; every other total is a double.
bool is_counter(const std::string& name) {
  return name.rfind("CELL_", 0) == 0 || name.rfind("GPIO_", 0) == 0;
}

}  // namespace

Json::Value simulated_vehicle() {
  Json::Value root(Json::objectValue);
  Json::Value& state = root["SYS_STATE_INT"];
  state["namedb"] = "SYS";
  state["type"] = KEY_TYPE_INT;
  state["value"] = 0;
  for (size_t i = 0; i < std::size(kStatsKeys); ++i) {
    const std::string name = kStatsKeys[i];
    Json::Value& entry = root[name];
    entry["namedb"] = name.substr(0, name.find('_'));  // VEH, CELL, GPS...
    entry["type"] = is_counter(name) ? KEY_TYPE_INT : KEY_TYPE_DOUBLE;
    entry["value"] = is_counter(name)
                         ? Json::Value(static_cast<Json::Int>(kStartValues[i]))
                         : Json::Value(kStartValues[i]);
  }
  return root;
}

}  // namespace kvo::sim_cli
