// An attendance database in a scratch file, from which a test can take a
// table away behind the library's back (the Jet dialect has no DROP TABLE).
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tessaly/db/Connection.h"
#include "tessaly/db/Schema.h"

namespace tessaly::testing {

class ScratchDb {
 public:
  explicit ScratchDb(const std::string& missing_table)
      : path_(std::filesystem::temp_directory_path() /
              ("tessaly-admin-" + std::to_string(getpid()) + "-" + missing_table + ".db")) {
    db::CreateSchema(*db::Connection::Open(path_));
    sqlite3* raw = nullptr;
    sqlite3_open(path_.c_str(), &raw);
    sqlite3_exec(raw, ("DROP TABLE " + missing_table).c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    conn_ = db::Connection::Open(path_);
  }
  ~ScratchDb() {
    conn_.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path_ + suffix);
  }
  const std::shared_ptr<db::Connection>& conn() const { return conn_; }

 private:
  std::string path_;
  std::shared_ptr<db::Connection> conn_;
};

}  // namespace tessaly::testing
