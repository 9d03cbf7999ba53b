// Signed decimal integers as people and scripts write them in the folder's
// files and on the kvo-sim command line.
#ifndef KVO_SIM_INTEGER_TEXT_H_
#define KVO_SIM_INTEGER_TEXT_H_

#include <cstdint>
#include <string_view>

namespace kvo::sim {

// True when all of `text` is an optional sign and decimal digits whose
// value fits in int64_t; `*value` is then set.
bool parse_int64(std::string_view text, int64_t* value);

}  // namespace kvo::sim

#endif  // KVO_SIM_INTEGER_TEXT_H_
