// The SQLite engine behind a Connection.
#pragma once

#include <memory>
#include <string>

#include "db/Backend.h"

struct sqlite3;

namespace tessaly::db::sqlite {

// One open SQLite database, owned alone (move-only through unique_ptr). A file
// database runs in write-ahead journaling with synchronous=NORMAL, so a
// committed write survives the process being killed, and waits up to
// kBusyTimeoutMs for another connection's lock. Not thread-safe.
class SqliteBackend final : public internal::Backend {
 public:
  static constexpr int kBusyTimeoutMs = 5000;

  // Opens (creating when missing) the file, or ":memory:". Throws
  // tessaly::Error -2147467259 when the target cannot be opened or is no
  // database.
  explicit SqliteBackend(const std::string& target);
  ~SqliteBackend() override;

  const jet::Dialect& dialect() const override;
  int32_t Run(const std::string& sql, internal::ResultData* out) override;
  void Begin() override;
  void Commit() override;    // -2147467259 when no transaction is open
  void Rollback() override;  // -2147467259 when no transaction is open

  // The native handle, for tests that need to reach the engine directly.
  sqlite3* handle() const { return db_.get(); }

 private:
  struct Closer {
    void operator()(sqlite3* db) const noexcept;
  };
  // Runs a statement without result rows (transaction control, pragmas).
  void Exec(const char* sql);

  std::unique_ptr<sqlite3, Closer> db_;
  std::string target_;
};

}  // namespace tessaly::db::sqlite
