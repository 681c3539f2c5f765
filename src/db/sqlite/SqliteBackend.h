// The SQLite engine behind a Connection.
#pragma once

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/Backend.h"
#include "db/jet/Translator.h"
#include "tessaly/Error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tessaly::db::sqlite {

class SqliteStream;

// A compiled statement, finalized when its owner lets it go.
struct Finalizer {
  void operator()(sqlite3_stmt* stmt) const noexcept;
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, Finalizer>;

// One open SQLite database, owned alone (move-only through unique_ptr). A file
// database runs in write-ahead journaling with synchronous=NORMAL, so a
// committed write survives the process being killed, and waits up to
// kBusyTimeoutMs for another connection's lock. A file the process may only
// read is opened for reading; a write to it fails with the read-only error.
// Not thread-safe.
class SqliteBackend final : public internal::Backend, private jet::Catalog {
 public:
  static constexpr int kBusyTimeoutMs = 5000;

  // Opens (creating when missing) the file, or ":memory:". Throws
  // tessaly::Error -2147467259 when the target cannot be opened, is a
  // directory or is no database.
  explicit SqliteBackend(const std::string& target, rules::Region region = rules::Region::kFixed);
  ~SqliteBackend() override;

  const jet::Dialect& dialect() const override;
  // SQLite resolves names as Jet did: the translator asks only for the
  // columns a * stands for in SELECT ... INTO over joined tables.
  jet::Catalog* names() override { return this; }
  using internal::Backend::Run;
  int32_t Run(const std::string& sql, std::span<const Parameter> parameters,
              internal::ResultData* out) override;
  std::unique_ptr<internal::RowStream> Stream(const std::string& sql,
                                              std::vector<Parameter> parameters,
                                              internal::ResultData* columns) override;
  int32_t MakeTable(const std::string& table, const std::string& sql,
                    std::span<const Parameter> parameters) override;
  void AlterTable(const jet::TableEdit& edit) override;
  void DropTable(const std::string& table, const std::string& sql) override;
  void Begin() override;
  void Commit() override;    // -2147467259 when no transaction is open
  void Rollback() override;  // -2147467259 when no transaction is open
  // An interrupted write undoes the host's whole transaction, as the engine
  // does for every write it stops; outside one it undoes the statement.
  void Interrupt() noexcept override;
  std::vector<std::string> SchemaStatements(const internal::Definitions& described) const override;
  std::vector<std::string> ColumnsOf(std::string_view object) override;
  void RunAsOne(std::span<const std::string> statements) override;
  int32_t RunGroup(std::span<const std::string> before, const std::string& sql,
                   std::span<const Parameter> parameters,
                   std::span<const std::string> after) override;

  // The native handle, for tests that need to reach the engine directly.
  sqlite3* handle() const { return db_.get(); }
  // How long a statement waits for another connection's lock (kBusyTimeoutMs
  // unless changed).
  void LockWait(std::chrono::milliseconds limit) { lock_wait_ = limit; }
  // The lock wait's step: false once the limit has passed since attempt 0.
  bool Waited(int attempt);
  // The number of compiled statements kept.
  size_t CachedStatements() const { return cache_.size(); }

 private:
  friend class SqliteStream;
  struct Closer {
    void operator()(sqlite3* db) const noexcept;
  };

  // jet::Catalog: a table's columns (saved queries are written into the
  // statements that read them before they are translated).
  const jet::NamedObject& Find(std::string_view name) override;
  bool ColumnsOnly() const override { return true; }

  void OpenHandle(const std::string& name, int flags);
  // Runs a statement without result rows (transaction control, pragmas).
  void Exec(const char* sql);
  // Exec for the statements that put the connection back as it was (undo a
  // failed statement, restore a setting): an interrupt meant for the
  // statement before must not leave the connection half restored.
  void Restore(const char* sql);
  // Runs body inside savepoint name (a transaction of its own outside a
  // host's): released when body ends, undone when it or the release throws.
  void InSavepoint(const std::string& name, const std::function<void()>& body);
  void Bind(sqlite3_stmt* stmt, std::span<const Parameter> parameters);
  Error RelationshipError(const std::string& sql);
  // Makes table anew from definition (its items in parentheses), filled
  // with the rows select_list reads from the old one, then runs then.
  void Rebuild(const std::string& table, const std::string& definition,
               const std::string& select_list, const std::string& then);

  // A statement compiled anew (null for blanks); throws the compile error.
  StatementPtr Compile(const std::string& sql);
  // The compiled statement for a text, from the cache or newly prepared and
  // kept in it.
  sqlite3_stmt* Prepared(const std::string& sql);
  // The statement for a text taken out of the cache (or compiled) for a
  // stream to own; Keep hands it back when the stream ends.
  StatementPtr CheckOut(const std::string& sql);
  void Keep(std::string sql, StatementPtr stmt);
  // Puts a statement first in the cache, finalizing the least recently used
  // one when the cache is full.
  void Cache(std::string sql, StatementPtr stmt);

  std::unique_ptr<sqlite3, Closer> db_;
  std::string target_;
  rules::Region region_;
  jet::NamedObject found_;  // Find's last answer
  std::chrono::milliseconds lock_wait_{kBusyTimeoutMs};
  std::chrono::steady_clock::time_point wait_started_;
  // Compiled statements by their text, most recently used first. With the
  // literals lifted out, all statements of one shape share a text, so the
  // engine compiles the shape (with its constraints and indexes) once.
  static constexpr size_t kCachedStatements = 64;
  // Declared after db_: every compiled statement goes before the connection
  // closes.
  std::list<std::pair<std::string, StatementPtr>> cache_;
  std::unordered_map<std::string_view, decltype(cache_)::iterator> cache_index_;
};

}  // namespace tessaly::db::sqlite
