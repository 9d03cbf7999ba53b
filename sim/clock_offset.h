// The `clock_offset` file: a signed integer of seconds, optionally with
// whitespace around it, that fwtime_s adds to the real time. A missing
// file, or one that holds anything else, is no offset.
#ifndef KVO_SIM_CLOCK_OFFSET_H_
#define KVO_SIM_CLOCK_OFFSET_H_

#include <cstdint>
#include <string>

namespace kvo::sim {

// True, with `*offset` set, when `text` holds a valid offset.
bool parse_clock_offset(const std::string& text, int64_t* offset);

// The offset in the folder's clock_offset file now.
int64_t clock_offset();

}  // namespace kvo::sim

#endif  // KVO_SIM_CLOCK_OFFSET_H_
