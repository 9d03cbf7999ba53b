// One archive instance: a named set of sampled system-database keys, the
// SQLite working database their samples go into, the directory of numbered
// archive files that database is backed up into, and the backup schedule.
#ifndef KVO_SERVICE_ARCHIVE_H_
#define KVO_SERVICE_ARCHIVE_H_

#include <json/value.h>

#include <cstdint>
#include <map>
#include <string>

#include "database/sqlite_handle.h"
#include "service/archive_key.h"

namespace kvo {

// Volatile storage: working databases, backup staging, unpacked archives.
constexpr char kVolatileDir[] = "/var/volatile/kvo/";
// Non-volatile storage: one folder of archive files per instance.
constexpr char kArchiveRoot[] = "/var/data/kvo/archive/";

class Archive {
 public:
  // Builds the paths from `name`; touches no file, directory or database.
  explicit Archive(const std::string& name);
  // Closes the database connection if one is open; writes nothing.
  ~Archive() = default;

  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // --- Configuration (service/archive_config.cc, sampling/key_list.cc) ---

  // Rebuilds the key list from `config` and sets the size limit (`size` MiB,
  // low 12 bits), the archive period (`period` minutes) and the next backup
  // time. Never throws, whatever the document holds.
  void apply_config(const Json::Value& config, uint32_t size, uint32_t period);

  // Takes `name` into the key list when the system database knows it as an
  // integer, double or text key with a named database.
  void add_key(const std::string& name, bool save_to_db, uint16_t period,
               uint16_t send_to_log, uint16_t log_period, bool restore);

  // --- Sampling (sampling/) ---

  // One sampling cycle at `now`: log forwarding, then a save or, once the
  // archive period has run out, a backup.
  void update(uint32_t now);

  // Samples every due key (every saved key with `force`) into the working
  // database with one INSERT. 0, or -1 when the database cannot be opened.
  int save_to_db(uint32_t now, bool force);

  // The value tuples of the INSERT batch, for a number and for a text.
  std::string save_double(const std::string& name, double value);
  std::string save_string(const std::string& name, const std::string& text);

  // Writes the current value of every due logged key to the system log.
  void send_to_log(uint32_t now);

  // --- Working database (database/) ---

  // Opens the working database unless it is open; 0 when it is open.
  int open_db();
  // Runs a statement that yields no rows; the SQLite result code.
  int exec_sql(const std::string& sql);
  int set_max_page_count(uint32_t pages);
  int disable_sync();
  int create_schema();
  // The database's page count; 0 on any failure.
  uint32_t get_page_count();

  // Inserts one batch, making room while the database is full.
  int add_entries(const std::string& sql);
  // Deletes the `count` + 1 oldest rows.
  int delete_old_entries(uint32_t count);
  // Deletes the oldest rows while the database exceeds `max_page_count`.
  void check_size();

  // Writes the last archived value of every key marked for restoring back
  // into the system database. Returns 0.
  int restore_values();
  int copy_to_sysdb();
  // The write's result, or -1 when nothing was written.
  int restore_key(const ArchiveKey& key, const std::string& name);

  // --- Archive files (files/) ---

  // Backs the working database up into the next numbered archive file.
  int backup(uint32_t now);
  // Checksums, packs and moves the backup copy; 0, or -1 at the first
  // failed step.
  int make_archive_file();
  // Keeps the three newest archives below `next_archive_number`.
  void remove_old_archives();

  // Start-up: prepares the archive directory and loads the newest good
  // archive as the working database.
  void initialize();
  // 0 when the archive at `path` is unpacked, verified and in place.
  int load_archive(const std::string& path);

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

  std::string name_;
  std::string db_path_;
  std::string backup_db_path_;
  std::string archive_dir_;
  // std::string compares as unsigned bytes, which gives the walk order.
  std::map<std::string, ArchiveKey> keys_;
  SqliteDb db_;
  uint32_t max_page_count_ = 2816;
  uint32_t archive_period_ = 600;
  uint32_t next_archive_time_ = 0;
  uint32_t next_archive_number_ = 0;
  bool data_added_ = false;
};

}  // namespace kvo

#endif  // KVO_SERVICE_ARCHIVE_H_
