#include "archive/archive.h"

namespace kvo {

Archive::Archive(const std::string& name)
    : name_(name),
      db_path_(kVolatileDir + name + ".db"),
      backup_db_path_(kVolatileDir + name + "_bak.db"),
      archive_dir_(kArchiveRoot + name + "/") {}

}  // namespace kvo
