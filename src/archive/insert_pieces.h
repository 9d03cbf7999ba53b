// Running a large INSERT batch as several bounded statements. SQLite
// compiles a multi-row VALUES into one program that grows with its rows:
// past a few hundred rows it no longer fits the processor's cache, each row
// costs more than the one before, and the compile holds about 700 bytes of
// heap a row. Pieces of a bounded size keep both flat. The batch stays
// all-or-nothing, and its rows share one timestamp, as they would from the
// one statement.
#ifndef KVO_ARCHIVE_INSERT_PIECES_H_
#define KVO_ARCHIVE_INSERT_PIECES_H_

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvo {

// The text every batch starts with; comma-separated tuples follow.
inline constexpr char kInsertHeader[] = "INSERT into data (key,value) VALUES ";
// A batch of more tuples than this is inserted in pieces of this many.
inline constexpr uint16_t kTuplesPerPiece = 256;

// Inserts the tuples of `sql`, a batch whose tuples number kTuplesPerPiece,
// 2 * kTuplesPerPiece, ... begin at the offsets `cuts` (just past their
// comma). The rows, their order, values and timestamp are those
// sqlite3_exec(sql) would store, and the result code the one it would
// return. With a `data` table of another shape than the service creates, or
// a text too long for one statement, it is that sqlite3_exec.
int insert_in_pieces(sqlite3* db, const std::string& sql,
                     const std::vector<size_t>& cuts);

}  // namespace kvo

#endif  // KVO_ARCHIVE_INSERT_PIECES_H_
