// SQLite's allocations through the free lists (installed for every test
// program, as in the service): a block keeps its bytes until it is freed,
// whatever the mix of sizes, growth, shrinking and reuse around it. Each
// slot's bytes hold its size's low byte; a reallocation to 0 frees.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(SqliteMemoryTest, BlocksKeepTheirBytesThroughAnyMixOfCalls) {
  void* probe = sqlite3_malloc(20);
  EXPECT_EQ(sqlite3_msize(probe), 32u);  // Rounded to the lists' step.
  sqlite3_free(probe);

  std::vector<std::pair<unsigned char*, int>> slots(300, {nullptr, 0});
  std::mt19937 random(5);
  for (int step = 0; step < 40000; ++step) {
    auto& [bytes, size] = slots[random() % slots.size()];
    const int resize =
        random() % 4 == 0 ? 0 : 1 + random() % (step % 9 ? 1100 : 9000);
    bytes = static_cast<unsigned char*>(sqlite3_realloc(bytes, resize));
    const int kept = std::min(size, resize);
    ASSERT_EQ(std::count(bytes, bytes + kept, static_cast<unsigned char>(size)),
              kept)
        << step;
    size = bytes == nullptr ? 0 : resize;
    ASSERT_GE(sqlite3_msize(bytes), static_cast<sqlite3_uint64>(size));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % alignof(std::max_align_t),
              0u);
    if (size > 0) std::memset(bytes, static_cast<unsigned char>(size), size);
  }
  for (auto& slot : slots) sqlite3_free(slot.first);
}

}  // namespace
