#include "service/signals.h"

#include <csignal>

namespace kvo {
namespace {

ServiceFlags g_flags;

void on_sigint(int) { g_flags.running.store(false); }
void on_sigusr1(int) { g_flags.reload_config.store(true); }
void on_sigusr2(int) { g_flags.archive_now.store(true); }

}  // namespace

ServiceFlags& process_flags() { return g_flags; }

void install_signal_handlers() {
  std::signal(SIGINT, on_sigint);
  std::signal(SIGUSR1, on_sigusr1);
  std::signal(SIGUSR2, on_sigusr2);
}

}  // namespace kvo
