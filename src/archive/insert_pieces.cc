#include "archive/insert_pieces.h"

#include <string_view>

#include "archive/schema.h"
#include "base/sqlite_handle.h"

namespace kvo {
namespace {

// A piece names the timestamp column, so that every piece stores the one
// time the column default would have given the whole batch.
constexpr char kPieceHeader[] =
    "INSERT into data (ts,key,value) SELECT ?1,column1,column2 FROM (VALUES ";
// Everything SQLite keeps about the table: only the one kCreateTable makes
// is known to have nothing (a trigger, a constraint, another default) that
// could tell a piece from the one statement.
constexpr char kTableQuery[] =
    "SELECT group_concat(sql,';') FROM sqlite_master WHERE tbl_name='data'";
constexpr std::string_view kCreateIfMissing = "CREATE TABLE IF NOT EXISTS ";
static_assert(std::string_view(kCreateTable)
                  .substr(0, kCreateIfMissing.size()) == kCreateIfMissing);

int exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// The first column of the one row `query` yields, into `*text`.
int query_text(sqlite3* db, const char* query, std::string* text) {
  SqliteStatement stmt;
  int rc = sqlite3_prepare_v2(db, query, -1, stmt.out(), nullptr);
  if (rc != SQLITE_OK) return rc;
  rc = sqlite3_step(stmt.get());
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? SQLITE_ERROR : rc;
  const unsigned char* column = sqlite3_column_text(stmt.get(), 0);
  text->assign(column ? reinterpret_cast<const char*>(column) : "");
  return SQLITE_OK;
}

bool service_table(sqlite3* db) {
  // SQLite keeps the statement without its IF NOT EXISTS.
  static const std::string kKept =
      std::string("CREATE TABLE ") + (kCreateTable + kCreateIfMissing.size());
  std::string schema;
  return query_text(db, kTableQuery, &schema) == SQLITE_OK && schema == kKept;
}

int insert_piece(sqlite3* db, const std::string& piece,
                 const std::string& timestamp) {
  SqliteStatement stmt;
  // The length with the terminating NUL spares SQLite a copy of the text.
  int rc =
      sqlite3_prepare_v2(db, piece.c_str(), static_cast<int>(piece.size() + 1),
                         stmt.out(), nullptr);
  if (rc != SQLITE_OK) return rc;
  rc = sqlite3_bind_text(stmt.get(), 1, timestamp.data(),
                         static_cast<int>(timestamp.size()), SQLITE_STATIC);
  if (rc != SQLITE_OK) return rc;
  rc = sqlite3_step(stmt.get());
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int insert_all_pieces(sqlite3* db, const std::string& sql,
                      const std::vector<size_t>& cuts) {
  std::string timestamp;
  int rc = query_text(db, "SELECT CURRENT_TIMESTAMP", &timestamp);
  std::string piece;
  size_t begin = sizeof(kInsertHeader) - 1;
  for (size_t i = 0; rc == SQLITE_OK && i <= cuts.size(); ++i) {
    const size_t end = i < cuts.size() ? cuts[i] - 1 : sql.size();
    piece.assign(kPieceHeader);
    piece.append(sql, begin, end - begin);
    piece += ')';
    rc = insert_piece(db, piece, timestamp);
    begin = end + 1;
  }
  return rc;
}

}  // namespace

int insert_in_pieces(sqlite3* db, const std::string& sql,
                     const std::vector<size_t>& cuts) {
  // Within the limit, no piece is too long for an int either.
  const auto limit =
      static_cast<size_t>(sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, -1));
  if (sql.size() >= limit) return exec(db, sql.c_str());
  int rc = exec(db, "BEGIN");
  if (rc != SQLITE_OK) return rc;
  // Inside the transaction, so that the table cannot change before the
  // pieces run.
  if (!service_table(db)) {
    exec(db, "ROLLBACK");
    return exec(db, sql.c_str());
  }
  rc = insert_all_pieces(db, sql, cuts);
  if (rc == SQLITE_OK) rc = exec(db, "COMMIT");
  // A failed statement may have ended the transaction already.
  if (rc != SQLITE_OK && !sqlite3_get_autocommit(db)) exec(db, "ROLLBACK");
  return rc;
}

}  // namespace kvo
