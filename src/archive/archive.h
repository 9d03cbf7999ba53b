// One archive instance: a named set of sampled system-database keys, the
// SQLite working database their samples go into, the directory of numbered
// archive files that database is backed up into, and the backup schedule.
#ifndef KVO_ARCHIVE_ARCHIVE_H_
#define KVO_ARCHIVE_ARCHIVE_H_

#include <json/value.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_key.h"
#include "archive/database_check.h"
#include "archive/paths.h"
#include "archive/schema.h"
#include "base/sqlite_handle.h"

namespace kvo {

class Archive {
 public:
  // Builds the paths from `name`; touches no file, directory or database.
  explicit Archive(const std::string& name);
  // Closes the database connection if one is open; writes nothing.
  ~Archive() = default;

  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // An operation that can fail returns int: 0 on success, and on failure a
  // non-zero value that says why: the SQLite result code of the statement
  // that failed, the status of the command that failed (a wait status, or
  // -1 without a shell), -1 when the working database cannot be opened or
  // the operation has that one way to fail. Where the service acts on the
  // value in another way, the operation says so. Each operation logs its
  // own failures; callers look at the result only where they act on it.
  // Operations that cannot fail return nothing.

  // Each group of operations is defined in the file named above it.

  // archive_config.cc

  // Rebuilds the key list from `config` and sets the size limit (`size` MiB,
  // low 12 bits), the archive period (`period` minutes) and the next backup
  // time. Never throws, whatever the document holds.
  void apply_config(const Json::Value& config, uint32_t size, uint32_t period);

  // archive_key_list.cc
  // Takes `name` into the key list when the system database knows it as an
  // integer, double or text key with a named database.
  void add_key(const std::string& name, bool save_to_db, uint16_t period,
               uint16_t send_to_log, uint16_t log_period, bool restore);

  // archive_sampling.cc

  // One sampling cycle at `now`: log forwarding, then a save or, once the
  // archive period has run out, a backup.
  void update(uint32_t now);

  // Samples every due key (every saved key with `force`) into the working
  // database with one INSERT; fails as add_entries, or when the database
  // cannot be opened. A key whose value cannot be read is no failure: it is
  // due again at the next call.
  int save_to_db(uint32_t now, bool force);

  // The value tuples of the INSERT batch, for a number and for a text.
  std::string save_double(const std::string& name, double value);
  std::string save_string(const std::string& name, const std::string& text);
  // The same tuples appended to `*sql`, so that a batch is built in place.
  void append_double(const std::string& name, double value, std::string* sql);
  void append_string(const std::string& name, const std::string& text,
                     std::string* sql);

  // archive_log_forwarding.cc
  // Writes the current value of every due logged key to the system log.
  void send_to_log(uint32_t now);

  // archive_database.cc

  // Opens the working database unless it is open. One marked unusable since
  // (archive_damage.cc) is first set aside and replaced by a fresh database
  // with the table, so that sampling goes on. 0 whenever a connection is
  // open afterwards, even where the fresh database's statements failed
  // (logged): every caller goes on with the connection.
  int open_db();
  // Runs a statement that yields no rows; failure is the SQLite result code.
  // An INSERT batch may come with `cuts`, the offsets at which it can be cut
  // into bounded statements (insert_pieces.h); it then runs as those.
  int exec_sql(const std::string& sql, const std::vector<size_t>& cuts = {});
  // The connection settings and the table; failure is the SQLite code of
  // the (first) statement that failed. create_schema runs all three of its
  // statements whatever fails.
  int set_max_page_count(uint32_t pages);
  int disable_sync();
  int create_schema();
  // The database's page count into `pages`, which is 0 on failure.
  int get_page_count(uint32_t* pages);

  // archive_size_control.cc
  // Inserts one batch, making room while the database is full; `cuts` as
  // for exec_sql. Failure is the last INSERT's SQLite code.
  int add_entries(const std::string& sql, const std::vector<size_t>& cuts = {});
  // Deletes the `count` + 1 oldest rows; an empty table is no failure, nor
  // one whose oldest rowid is 0 (never written here), which is left alone.
  int delete_old_entries(uint32_t count);
  // Deletes the oldest rows while the database exceeds `max_page_count`.
  void check_size();

  // archive_restore.cc
  // Writes the last archived value of every key marked for restoring back
  // into the system database; a key that fails does not stop the others.
  void restore_values();
  void copy_to_sysdb();
  // 0 when the value is written or there is none (no row, SQL NULL); else
  // the system database's write result, the SQLite code of a failed read,
  // or -1 when the database cannot be opened or the key's type is none
  // that is restored. So -1 has several causes (a failed write may give it
  // too), which nothing tells apart: copy_to_sysdb goes on with the next
  // key whatever the result.
  int restore_key(const ArchiveKey& key, const std::string& name);

  // archive_backup.cc

  // Backs the working database up into the next numbered archive file; an
  // instance that saves nothing has nothing to back up and succeeds, and so
  // does one whose backup is held back (hold_back_backup). Failure is the
  // status of the first command that failed.
  int backup(uint32_t now);
  // Checksums, packs and moves the backup copy; fails at the first failed
  // command, with its status.
  int make_archive_file();
  // archive_rotation.cc
  // Keeps the kArchivesKept newest archives below `next_archive_number`
  // (archive_order.h).
  void remove_old_archives();

  // archive_initialization.cc

  // Start-up: prepares the archive directory and loads the newest good
  // archive as the working database.
  void initialize();
  // 0 when the archive at `path` is unpacked, verified, found usable and in
  // place as the working database; kArchiveKept when volatile storage
  // failed, or SQLite could not tell, which says nothing of the archive;
  // -1 for every other failure, which start-up takes for the archive's
  // fault and deletes it: it will not unpack, its checksum file does not
  // name the copy alone or does not verify, the copy is unusable, or the
  // copy could not be moved into place.
  int load_archive(const std::string& path);
  static constexpr int kArchiveKept = 1;

  const std::string& name() const { return name_; }
  const std::string& db_path() const { return db_path_; }
  const std::string& backup_db_path() const { return backup_db_path_; }
  const std::string& archive_dir() const { return archive_dir_; }
  const std::map<std::string, ArchiveKey>& keys() const { return keys_; }
  bool db_open() const { return static_cast<bool>(db_); }
  uint32_t max_page_count() const { return max_page_count_; }
  uint32_t archive_period() const { return archive_period_; }
  uint32_t next_archive_time() const { return next_archive_time_; }
  uint32_t next_archive_number() const { return next_archive_number_; }
  bool data_added() const { return data_added_; }

 private:
  friend class ArchivePeer;  // Lets tests set up states directly.

  // Identity of the working database's file, as the connection opened it.
  struct FileId {
    uint64_t device = 0;
    uint64_t inode = 0;
  };

  // archive_initialization.cc

  // Tries `numbers` newest first, deleting each bad archive, until one loads
  // or one is kept; true when one loaded.
  bool load_newest_archive(const std::vector<uint32_t>& numbers);
  // Unpacks the archive at `path` and verifies its checksum; result as for
  // load_archive.
  int unpack_archive(const std::string& path);
  // 0 when volatile storage can take the archive at `path` now (or it is no
  // regular file, or larger than the storage itself: the archive's own
  // fault), else the errno that says why not.
  int volatile_storage_error(const std::string& path);
  // Logs that the archive at `path` is kept and why, removes what was
  // unpacked of it, and gives kArchiveKept.
  int keep_archive(const std::string& path, const std::string& why);
  // While an archive that start-up had to keep waits to be loaded, no
  // backup may be written: it would become the newest. Once volatile
  // storage shows the room, tries again, restoring the totals of what it
  // loads; after a try that fails all the same, waits a minute, then twice
  // as long, up to an archive period. True when nothing waits (any longer).
  bool load_waiting_archive(uint32_t now);
  // In place of a backup while an archive waits: it stays the newest, so
  // that the next start restores its totals, not this run's. Asks again an
  // archive period later; succeeds, as a backup with nothing to do.
  int hold_back_backup(uint32_t now);

  // archive_damage.cc

  // Marks the working database for replacement at the next open_db when a
  // statement's result `rc` says it is damaged, or no longer the file at
  // its path.
  void note_damage(int rc);
  // After a batch of the service's own rows failed with `rc`: marks the
  // database for replacement when it is damaged or `data` refuses them or
  // has another shape; makes a missing table again. Either way the batch is
  // lost, which `samples_lost_` tells a backup.
  void diagnose_failed_batch(int rc);
  // Marks the database for replacement when `data` has a shape the service
  // cannot use; returns what it found.
  Fitness check_shape();
  // Records which file the connection has just opened.
  void remember_db_file();
  // True when the file at db_path was removed or another put in its place
  // since the connection opened it: a backup would copy that file instead.
  bool db_file_replaced() const;
  // Moves the unusable working database aside (one file an instance, kept
  // for a look) and opens a fresh one with the table; as open_db.
  int replace_unusable_db();

  std::string name_;
  std::string db_path_;
  std::string backup_db_path_;
  std::string archive_dir_;
  // std::string compares as unsigned bytes, which gives the walk order.
  std::map<std::string, ArchiveKey> keys_;
  SqliteDb db_;
  FileId db_file_;
  // Set when the working database was found unusable; open_db replaces it.
  bool db_unusable_ = false;
  // Set when a batch was lost to a database that is replaced or mended now.
  bool samples_lost_ = false;
  // Set while start-up's newest archive waits for room in volatile storage.
  bool archive_waiting_ = false;
  // When the last try to load it failed all the same, and how long to wait
  // from then (0: try at once).
  uint32_t load_retry_time_ = 0;
  uint32_t load_retry_delay_ = 0;
  uint32_t max_page_count_ = kHardPageLimit;
  uint32_t archive_period_ = 600;
  uint32_t next_archive_time_ = 0;
  uint32_t next_archive_number_ = 0;
  bool data_added_ = false;
};

}  // namespace kvo

#endif  // KVO_ARCHIVE_ARCHIVE_H_
