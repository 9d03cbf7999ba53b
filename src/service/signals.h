// The three one-byte flags that signal handlers set and the main loop reads
// afresh at every test.
#ifndef KVO_SERVICE_SIGNALS_H_
#define KVO_SERVICE_SIGNALS_H_

#include <atomic>

namespace kvo {

static_assert(ATOMIC_BOOL_LOCK_FREE == 2,
              "signal handlers need lock-free one-byte flags");

struct ServiceFlags {
  std::atomic<bool> running{true};        // Cleared by SIGINT.
  std::atomic<bool> reload_config{true};  // Set by SIGUSR1.
  std::atomic<bool> archive_now{false};   // Set by SIGUSR2.
};

// The process-wide flags that the handlers write.
ServiceFlags& process_flags();

// Installs the SIGINT, SIGUSR1 and SIGUSR2 handlers, each a single store.
// SIGTERM keeps its default action.
void install_signal_handlers();

}  // namespace kvo

#endif  // KVO_SERVICE_SIGNALS_H_
