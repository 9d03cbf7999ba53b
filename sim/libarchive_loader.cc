#include "libarchive_loader.h"

#include <dlfcn.h>

namespace kvo::sim {
namespace {

// The library's ABI version, the one its development package builds for.
constexpr char kLibrary[] = "libarchive.so.13";

template <typename Function>
bool find(void* handle, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(dlsym(handle, name));
  return *function != nullptr;
}

}  // namespace

LibArchive::LibArchive() {
  handle_ = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) return;
  loaded_ = find(handle_, "archive_read_new", &read_new) &&
            find(handle_, "archive_read_free", &read_free) &&
            find(handle_, "archive_read_support_format_tar",
                 &read_support_format_tar) &&
            find(handle_, "archive_read_open_filename", &read_open_filename) &&
            find(handle_, "archive_read_next_header", &read_next_header) &&
            find(handle_, "archive_read_data", &read_data) &&
            find(handle_, "archive_entry_pathname", &entry_pathname) &&
            find(handle_, "archive_entry_filetype", &entry_filetype) &&
            find(handle_, "archive_entry_hardlink", &entry_hardlink) &&
            find(handle_, "archive_entry_perm", &entry_perm);
}

LibArchive::~LibArchive() {
  if (handle_ != nullptr) dlclose(handle_);
}

}  // namespace kvo::sim
