#include "base/sqlite_memory.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) \
  ((void)(address), (void)(size))
#endif

namespace kvo {
namespace {

// Each block is preceded by its usable size, in a header that keeps the
// alignment malloc gives: 16 bytes on 64-bit targets, 8 on 32-bit ones,
// where 8 is still all SQLite asks for.
constexpr size_t kHeader = 16;
static_assert(kHeader % alignof(std::max_align_t) == 0 &&
                  kHeader >= sizeof(size_t),
              "the header keeps malloc's alignment and holds the size");
constexpr size_t kStep = 16;
constexpr size_t kLargestListed = 1024;
// What a listed block holds of memory besides its usable size: the header
// and malloc's own bookkeeping. The bound counts both.
constexpr size_t kBlockOverhead = kHeader + 16;
constexpr size_t kListedLimit = 256 * 1024;

struct FreeBlock {
  FreeBlock* next;
};

FreeBlock* free_lists[kLargestListed / kStep + 1];
size_t listed_bytes = 0;
// With its memory statistics off, SQLite calls the allocator without a
// lock of its own. The service has one thread, so the flag is never
// contended there; it keeps the lists whole in any other program.
std::atomic_flag lists_busy = ATOMIC_FLAG_INIT;

class ListsLock {
 public:
  ListsLock() {
    while (lists_busy.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~ListsLock() { lists_busy.clear(std::memory_order_release); }

  ListsLock(const ListsLock&) = delete;
  ListsLock& operator=(const ListsLock&) = delete;
};

// SQLite asks for 1 to 0x7ffffeff bytes, so this neither wraps nor
// overflows an int.
size_t rounded(int bytes) {
  return (static_cast<size_t>(bytes) + kStep - 1) / kStep * kStep;
}

char* header_of(void* block) { return static_cast<char*>(block) - kHeader; }

size_t size_of(void* block) {
  size_t size;
  std::memcpy(&size, header_of(block), sizeof(size));
  return size;
}

void* with_header(char* raw, size_t size) {
  std::memcpy(raw, &size, sizeof(size));
  return raw + kHeader;
}

void* take_listed(size_t size) {
  if (size > kLargestListed) return nullptr;
  ListsLock lock;
  FreeBlock*& list = free_lists[size / kStep];
  FreeBlock* block = list;
  if (block == nullptr) return nullptr;
  list = block->next;
  listed_bytes -= size + kBlockOverhead;
  ASAN_UNPOISON_MEMORY_REGION(block, size);
  return block;
}

// A listed block is poisoned but for its link, so that the sanitizer build
// still sees a use after free.
bool put_listed(void* block, size_t size) {
  if (size > kLargestListed) return false;
  ListsLock lock;
  if (listed_bytes + size + kBlockOverhead > kListedLimit) return false;
  FreeBlock*& list = free_lists[size / kStep];
  list = new (block) FreeBlock{list};
  listed_bytes += size + kBlockOverhead;
  ASAN_POISON_MEMORY_REGION(list + 1, size - sizeof(FreeBlock));
  return true;
}

void* allocate(int bytes) {
  const size_t size = rounded(bytes);
  if (void* block = take_listed(size)) return block;
  auto* raw = static_cast<char*>(std::malloc(kHeader + size));
  return raw == nullptr ? nullptr : with_header(raw, size);
}

void release(void* block) {
  if (!put_listed(block, size_of(block))) std::free(header_of(block));
}

// SQLite calls this only when the rounded size changes.
void* reallocate(void* block, int bytes) {
  const size_t old_size = size_of(block);
  const size_t size = rounded(bytes);
  if (old_size > kLargestListed && size > kLargestListed) {
    auto* raw =
        static_cast<char*>(std::realloc(header_of(block), kHeader + size));
    return raw == nullptr ? nullptr : with_header(raw, size);
  }
  void* moved = allocate(bytes);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, block, std::min(old_size, size));
  release(block);
  return moved;
}

int usable_size(void* block) { return static_cast<int>(size_of(block)); }
int round_up(int bytes) { return static_cast<int>(rounded(bytes)); }
int no_setup(void*) { return SQLITE_OK; }
void no_teardown(void*) {}

}  // namespace

int use_sqlite_free_lists() {
  static const sqlite3_mem_methods methods = {allocate,    release,  reallocate,
                                              usable_size, round_up, no_setup,
                                              no_teardown, nullptr};
  const int rc = sqlite3_config(SQLITE_CONFIG_MALLOC, &methods);
  if (rc != SQLITE_OK) return rc;
  // SQLite's own count of its memory, which nothing here reads, takes a
  // mutex and two size look-ups an allocation.
  return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
}

}  // namespace kvo
