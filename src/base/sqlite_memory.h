// SQLite's small allocations, kept on free lists of their own. Compiling a
// statement makes thousands of small allocations, and finalizing it frees
// them all. Debian's SQLite is built without lookaside, its own cache for
// them, and glibc's bins then have the next compile sort, split and merge
// the same chunks again, on cold memory once the process is large. Here a
// freed block of up to 1 KiB goes onto a list of its size and is handed out
// again as it is; larger blocks, and small ones past a bound of 256 KiB of
// memory on the lists (the compile of a few hundred rows), go back to
// malloc.
#ifndef KVO_BASE_SQLITE_MEMORY_H_
#define KVO_BASE_SQLITE_MEMORY_H_

namespace kvo {

// Makes SQLite allocate through the free lists. Must run before SQLite is
// first used, and fails with sqlite3_config's SQLITE_MISUSE otherwise;
// SQLite then keeps allocating as before.
int use_sqlite_free_lists();

}  // namespace kvo

#endif  // KVO_BASE_SQLITE_MEMORY_H_
