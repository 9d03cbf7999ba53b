#include "base/database_files.h"

#include <unistd.h>

namespace kvo {

void remove_side_files(const std::string& path) {
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    ::unlink((path + suffix).c_str());
  }
}

}  // namespace kvo
