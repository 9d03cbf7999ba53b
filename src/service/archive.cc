#include "service/archive.h"

namespace kvo {

namespace {
constexpr char kVolatileDir[] = "/var/volatile/kvo/";
constexpr char kArchiveRoot[] = "/var/data/kvo/archive/";
}  // namespace

Archive::Archive(const std::string& name)
    : name_(name),
      db_path_(kVolatileDir + name + ".db"),
      backup_db_path_(kVolatileDir + name + "_bak.db"),
      archive_dir_(kArchiveRoot + name + "/") {}

}  // namespace kvo
