// The frame of every platform function but fwtime_s. The service expects
// result codes from them, so a function fails while the fail file lists it,
// and nothing thrown inside (a JsonCpp conversion, an allocation) escapes to
// the caller: it becomes the function's failure value. Like the service,
// the simulated platform is meant for one thread; its caches are unguarded.
#ifndef KVO_SIM_PLATFORM_CALL_H_
#define KVO_SIM_PLATFORM_CALL_H_

#include "fail_list.h"

namespace kvo::sim {

template <typename Result, typename Body>
Result platform_call(const char* function, Result failure,
                     const Body& body) noexcept {
  try {
    if (failure_injected(function)) return failure;
    return body();
  } catch (...) {
    return failure;
  }
}

}  // namespace kvo::sim

#endif  // KVO_SIM_PLATFORM_CALL_H_
