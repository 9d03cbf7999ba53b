// kvo-data-logger: samples system-database values into SQLite working
// databases, keeps them under a size limit, backs them up into numbered
// archives and restores the archived totals after a power cycle.
#include "base/log.h"
#include "base/sqlite_memory.h"
#include "service/options.h"
#include "service/service.h"
#include "service/signals.h"

int main(int argc, char** argv) {
  kvo::use_sqlite_free_lists();  // Before anything opens a database.
  kvo::install_signal_handlers();
  if (kvo::usage_requested(argc, argv)) {
    kvo::print_usage(stdout, argc > 0 ? argv[0] : nullptr);
    return 0;
  }
  kvo::log_open();
  kvo::log_printf(LOG_ALERT, "KVO Data Logger started");

  kvo::Service service(&kvo::process_flags());
  service.start();
  service.run();
  service.shutdown();
  return 0;
}
