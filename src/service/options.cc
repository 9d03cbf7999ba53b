#include "service/options.h"

#include <getopt.h>

#include <cstring>

namespace kvo {

bool usage_requested(int argc, char** argv) {
  static const struct option kLongOptions[] = {
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  return getopt_long(argc, argv, "hv", kLongOptions, nullptr) != -1;
}

void print_usage(std::FILE* out, const char* argv0) {
  const char* name = argv0 != nullptr ? argv0 : "kvo-data-logger";
  const char* slash = std::strrchr(name, '/');
  if (slash != nullptr) name = slash + 1;
  std::fprintf(out, "Usage: %s [Options]\nOptions:\n -h, --help\tThis help\n",
               name);
}

}  // namespace kvo
