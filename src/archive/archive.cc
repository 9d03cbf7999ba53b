#include "archive/archive.h"

#include "archive/archive_names.h"

namespace kvo {

Archive::Archive(const std::string& name)
    : name_(name),
      db_path_(kVolatileDir + name + ".db"),
      backup_db_path_(kVolatileDir + backup_copy_name(name)),
      archive_dir_(kArchiveRoot + name + "/") {}

}  // namespace kvo
