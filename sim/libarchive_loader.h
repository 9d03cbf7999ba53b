// libarchive, loaded only while an archive is unpacked. With what it pulls
// in (libxml2, ICU, nettle, zstd, lzma, ...) it would otherwise cost every
// process on the simulated platform about a MB of resident memory, for a
// call that a service makes once per instance at start-up.
#ifndef KVO_SIM_LIBARCHIVE_LOADER_H_
#define KVO_SIM_LIBARCHIVE_LOADER_H_

#include <archive.h>
#include <archive_entry.h>

namespace kvo::sim {

// Loads the library on construction and unloads it on destruction; the
// functions are null when it could not be loaded.
class LibArchive {
 public:
  LibArchive();
  ~LibArchive();

  LibArchive(const LibArchive&) = delete;
  LibArchive& operator=(const LibArchive&) = delete;

  // True when the library and every function below were found.
  bool loaded() const { return loaded_; }

  decltype(&archive_read_new) read_new = nullptr;
  decltype(&archive_read_free) read_free = nullptr;
  decltype(&archive_read_support_format_tar) read_support_format_tar = nullptr;
  decltype(&archive_read_open_filename) read_open_filename = nullptr;
  decltype(&archive_read_next_header) read_next_header = nullptr;
  decltype(&archive_read_data) read_data = nullptr;
  decltype(&archive_entry_pathname) entry_pathname = nullptr;
  decltype(&archive_entry_filetype) entry_filetype = nullptr;
  decltype(&archive_entry_hardlink) entry_hardlink = nullptr;
  decltype(&archive_entry_perm) entry_perm = nullptr;

 private:
  void* handle_ = nullptr;
  bool loaded_ = false;
};

}  // namespace kvo::sim

#endif  // KVO_SIM_LIBARCHIVE_LOADER_H_
