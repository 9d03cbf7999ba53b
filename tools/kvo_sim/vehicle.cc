#include "kvo_sim/vehicle.h"

namespace kvo::sim_cli {
namespace {

struct Key {
  const char* name;
  const char* namedb;
  int type;
  double value;  // Exact for every integer value below.
};

// Distances in km, fuel in litres (and l/h), times in hours, positions in
// degrees, data in bytes, pulses as counts.
constexpr Key kKeys[] = {
    {"SYS_STATE_INT", "SYS", kTypeInt, 0},
    {"VEH_ODOMETER", "VEH", kTypeDouble, 48213.7},
    {"VEH_ODOMETER_GPS", "VEH", kTypeDouble, 48190.2},
    {"VEH_ODOMETER_OBD", "VEH", kTypeDouble, 48215.1},
    {"VEH_FUELLEVEL", "VEH", kTypeDouble, 62.5},
    {"VEH_FUELUSED", "VEH", kTypeDouble, 4125.8},
    {"VEH_FUELUSED_LVL", "VEH", kTypeDouble, 4098.3},
    {"VEH_FUELUSED_MAF", "VEH", kTypeDouble, 4131.6},
    {"VEH_FUELUSED_RATE", "VEH", kTypeDouble, 0.0},
    {"VEH_IDLETIME", "VEH", kTypeDouble, 212.4},
    {"VEH_IDLETIME_IGN", "VEH", kTypeDouble, 215.9},
    {"VEH_IDLETIME_RPM", "VEH", kTypeDouble, 210.1},
    {"VEH_ENGHOURS", "VEH", kTypeDouble, 1396.25},
    {"VEH_ENGHOURS_IGN", "VEH", kTypeDouble, 1402.5},
    {"VEH_ENGHOURS_RPM", "VEH", kTypeDouble, 1393.75},
    {"CELL_TOTAL_RX", "CELL", kTypeInt, 184320512},
    {"CELL_TOTAL_TX", "CELL", kTypeInt, 40960128},
    {"GPS_LAST_VALID_LAT", "GPS", kTypeDouble, 59.334591},
    {"GPS_LAST_VALID_LON", "GPS", kTypeDouble, 18.06324},
    {"GPIO_PULSE_TOTAL1", "GPIO", kTypeInt, 120348},
    {"GPIO_PULSE_TOTAL2", "GPIO", kTypeInt, 5127},
    {"GPIO_PULSE_TOTAL3", "GPIO", kTypeInt, 0},
    {"GPIO_PULSE_TOTAL4", "GPIO", kTypeInt, 42},
};

}  // namespace

Json::Value simulated_vehicle() {
  Json::Value root(Json::objectValue);
  for (const Key& key : kKeys) {
    Json::Value& entry = root[key.name];
    entry["namedb"] = key.namedb;
    entry["type"] = key.type;
    entry["value"] = key.type == kTypeInt
                         ? Json::Value(static_cast<Json::Int>(key.value))
                         : Json::Value(key.value);
  }
  return root;
}

}  // namespace kvo::sim_cli
