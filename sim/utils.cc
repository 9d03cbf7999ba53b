// The platform utility functions on a host. fwtime_s has no failure value
// and so ignores the fail file; check_md5's `quiet` changes nothing, since
// the simulated platform never prints.
#include "platform/utils.h"

#include <unistd.h>

#include <ctime>

#include "clock_offset.h"
#include "exported.h"
#include "flush_record.h"
#include "make_dirs.h"
#include "md5_check.h"
#include "platform_call.h"
#include "tar_extract.h"

using kvo::sim::platform_call;

KVO_SIM_EXPORTED uint32_t fwtime_s(int) {
  int64_t offset = 0;
  try {
    offset = kvo::sim::clock_offset();
  } catch (...) {
    // An offset that cannot be read is no offset, as for a bad file.
  }
  // Unsigned arithmetic: an offset may move the time past either end of 32
  // bits, and the time wraps there as a device's 32-bit clock would.
  uint64_t now =
      static_cast<uint64_t>(std::time(nullptr)) + static_cast<uint64_t>(offset);
  return static_cast<uint32_t>(now);
}

KVO_SIM_EXPORTED int kvo_mkdir_create_parents(const char* path) {
  return platform_call("kvo_mkdir_create_parents", -1,
                       [&] { return kvo::sim::make_dirs(path) ? 0 : -1; });
}

KVO_SIM_EXPORTED int extract_tar_file_to_dir(const char* tar, const char* dir) {
  return platform_call("extract_tar_file_to_dir", -1, [&] {
    return kvo::sim::extract_tar(tar, dir) ? 0 : -1;
  });
}

KVO_SIM_EXPORTED int check_md5(const char* md5_file, bool) {
  return platform_call("check_md5", -1, [&] {
    return kvo::sim::md5_file_verifies(md5_file) ? 0 : -1;
  });
}

KVO_SIM_EXPORTED int sync_to_fs(int) {
  return platform_call("sync_to_fs", -1, [] {
    ::sync();
    return kvo::sim::record_flush() ? 0 : -1;
  });
}
